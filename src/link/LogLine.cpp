#include "link/LogLine.h"

#include "link/Conversation.h"

namespace core {

namespace {

char* Two(char* out, int value, char after) {
    out[0] = static_cast<char>('0' + value / 10);
    out[1] = static_cast<char>('0' + value % 10);
    out[2] = after;
    return out + 3;
}

} // namespace

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

void FormatLogHead(std::int64_t wallMs, int direction, TLogHead& head) {
    std::int64_t days = wallMs / 86400000;
    std::int64_t msOfDay = wallMs % 86400000;
    if (msOfDay < 0) {
        msOfDay += 86400000;
        --days;
    }
    int y = 0, mo = 0, d = 0;
    CivilFromDays(days, y, mo, d);
    const int ms = static_cast<int>(msOfDay);
    // The year's last two digits (of a year before the first too).
    char* out = Two(head, (y % 100 + 100) % 100, '/');
    out = Two(out, mo, '/');
    out = Two(out, d, ' ');
    out = Two(out, ms / 3600000, ':');
    out = Two(out, ms / 60000 % 60, ':');
    out = Two(out, ms / 1000 % 60, ' ');
    out[0] = static_cast<char>('0' + ms % 1000 / 100);
    Two(out + 1, ms % 100, ',');
    const char* mark = direction == kLogReceived ? "<<" : direction == kLogSent ? ">>" : "  ";
    head[kLogHeadLength - 2] = mark[0];
    head[kLogHeadLength - 1] = mark[1];
}

std::string_view LogBody(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= 0x20)
        --end;
    return text.substr(0, end);
}

std::string FormatLogLine(std::int64_t wallMs, std::string_view utf8, int direction) {
    TLogHead head;
    FormatLogHead(wallMs, direction, head);
    const std::string_view body = LogBody(utf8);
    std::string line;
    line.reserve(kLogHeadLength + body.size());
    line.append(head, kLogHeadLength).append(body);
    return line;
}

} // namespace core
