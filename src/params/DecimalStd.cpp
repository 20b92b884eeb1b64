// The conversions of Decimal.h by the standard library's own <charconv>.
#include "params/Decimal.h"

#include <charconv>
#include <system_error>

namespace decimal {

std::optional<double> Parse(std::string_view text) noexcept {
    double value = 0;
    const char* last = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), last, value, std::chars_format::general);
    if (ec != std::errc() || ptr != last) return std::nullopt;
    return value;
}

std::string Shortest(double value) {
    // Shortest digits need at most 24 characters ("-1.2345678901234567e-308").
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) return {};
    return std::string(buffer, ptr);
}

std::string Fixed(double value) {
    // Fixed notation of the largest doubles needs 309 digits plus sign; tiny ones ~330.
    char buffer[400];
    const auto [ptr, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (ec != std::errc()) return {};
    return std::string(buffer, ptr);
}

} // namespace decimal
