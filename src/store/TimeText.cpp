#include "store/TimeText.h"

#include <cstdio>
#include <cstdlib>

namespace store {

namespace {

// "yyyy-MM-ddTHH:mm:ss" of milliseconds since 1970 counted as UTC; no Qt, so that the page in
// the browser stamps its record as the command line does.
std::string DateTimeText(std::int64_t ms) {
    std::int64_t seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
    std::int64_t days = seconds / 86400 - (seconds % 86400 < 0 ? 1 : 0);
    const std::int64_t second = seconds - days * 86400;
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld",
                  static_cast<long long>(year), static_cast<long long>(month),
                  static_cast<long long>(day), static_cast<long long>(second / 3600),
                  static_cast<long long>(second / 60 % 60), static_cast<long long>(second % 60));
    return text;
}

} // namespace

std::string UtcText(const core::TTimePoint& time) {
    return DateTimeText(time.utcMs) + "Z";
}

std::string LocalText(const core::TTimePoint& time) {
    // The offset in whole minutes; the two clock readings may differ by a few milliseconds.
    const std::int64_t offsetMin =
        (time.wallMs - time.utcMs + (time.wallMs >= time.utcMs ? 30000 : -30000)) / 60000;
    const std::int64_t minutes = std::llabs(offsetMin);
    char offset[32];
    std::snprintf(offset, sizeof offset, "%c%02lld:%02lld", offsetMin < 0 ? '-' : '+',
                  static_cast<long long>(minutes / 60), static_cast<long long>(minutes % 60));
    return DateTimeText(time.wallMs) + offset;
}

} // namespace store
