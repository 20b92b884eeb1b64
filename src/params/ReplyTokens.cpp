#include "params/ReplyTokens.h"

#include "params/Decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace params {

std::vector<std::string_view> TokenizeReply(std::string_view reply) {
    std::vector<std::string_view> tokens;
    const std::size_t end = std::min(reply.find('\0'), reply.size());
    std::size_t i = 0;
    while (i < end) {
        while (i < end && static_cast<unsigned char>(reply[i]) <= 32)
            ++i;
        const std::size_t start = i;
        while (i<end&& static_cast<unsigned char>(reply[i])> 32)
            ++i;
        if (i > start) tokens.push_back(reply.substr(start, i - start));
    }
    return tokens;
}

std::optional<std::int32_t> ParseInt32(std::string_view text) noexcept {
    // from_chars takes '-' but not '+'; a lone sign or "+-1" must still fail.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '-') return std::nullopt;
    }
    std::int32_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [ptr, ec] = std::from_chars(first, last, value, 10);
    if (ec != std::errc() || ptr != last) return std::nullopt;
    return value;
}

std::optional<double> ParseReal(std::string_view text) noexcept {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // Plain decimal only: this also keeps out a second sign, "nan", "inf" and "infinity".
    if (text.empty() || !((text.front() >= '0' && text.front() <= '9') || text.front() == '.'))
        return std::nullopt;
    const std::optional<double> value = decimal::Parse(text);
    if (!value || !std::isfinite(*value)) return std::nullopt;
    return negative ? -*value : *value;
}

std::string FormatReal(double value) {
    if (value == 0) value = 0; // no "-0"
    return decimal::Fixed(value);
}

namespace {

std::string Printable(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

} // namespace

std::string_view ValueToken(const std::vector<std::string_view>& tokens) {
    if (tokens.size() >= 3) return tokens[2];
    std::string reply;
    for (std::string_view t : tokens) {
        if (!reply.empty()) reply += ' ';
        reply += Printable(t);
    }
    throw EConvertError("'" + reply + "' has no parameter value");
}

std::int32_t IntValue(const std::vector<std::string_view>& tokens, std::int32_t fallback) {
    return ParseInt32(ValueToken(tokens)).value_or(fallback);
}

double RealValue(const std::vector<std::string_view>& tokens) {
    const std::string_view token = ValueToken(tokens);
    if (auto value = ParseReal(token)) return *value;
    throw EConvertError("'" + Printable(token) + "' is not a valid floating point value");
}

std::string TextValue(const std::vector<std::string_view>& tokens) {
    return std::string(ValueToken(tokens));
}

} // namespace params
