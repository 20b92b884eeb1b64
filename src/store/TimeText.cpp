#include "store/TimeText.h"

#include "link/LogLine.h"

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
    int year = 0, month = 0, day = 0;
    core::CivilFromDays(days, year, month, day);
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
