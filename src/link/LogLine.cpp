#include "link/LogLine.h"

#include "link/Conversation.h"

#include <cstdio>

namespace core {

namespace {

// Days since 1970-01-01 to year, month, day (proleptic Gregorian).
void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

} // namespace

std::string FormatLogLine(std::int64_t wallMs, std::string_view utf8, int direction) {
    std::int64_t days = wallMs / 86400000;
    std::int64_t msOfDay = wallMs % 86400000;
    if (msOfDay < 0) {
        msOfDay += 86400000;
        --days;
    }
    int y = 0, mo = 0, d = 0;
    CivilFromDays(days, y, mo, d);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%02d %02d:%02d:%02d %03d,", y % 100, mo, d,
                  static_cast<int>(msOfDay / 3600000), static_cast<int>(msOfDay / 60000 % 60),
                  static_cast<int>(msOfDay / 1000 % 60), static_cast<int>(msOfDay % 1000));
    std::size_t end = utf8.size();
    // Every byte of a multi-byte UTF-8 character is above 0x7F: only whole blanks go.
    while (end > 0 && static_cast<unsigned char>(utf8[end - 1]) <= 0x20)
        --end;
    std::string line = stamp;
    line.reserve(line.size() + 2 + end);
    line += direction == kLogReceived ? "<<" : direction == kLogSent ? ">>" : "  ";
    line += utf8.substr(0, end);
    return line;
}

} // namespace core
