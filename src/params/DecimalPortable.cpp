// The conversions of Decimal.h for a standard library without floating-point <charconv>:
// the form is checked here, the rounding is left to strtod and snprintf (both correctly
// rounded), and the digits are laid out as <charconv> lays them out.
#include "params/Decimal.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace decimal {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool SameLetters(std::string_view text, std::string_view lower) {
    if (text.size() < lower.size()) return false;
    for (std::size_t i = 0; i < lower.size(); ++i)
        if ((text[i] | 0x20) != lower[i]) return false;
    return true;
}

// "inf", "infinity", "nan" and "nan(chars)" as the whole text.
std::optional<double> Special(std::string_view text) {
    if (SameLetters(text, "nan")) {
        std::size_t end = 3;
        if (text.size() > 3 && text[3] == '(') {
            for (std::size_t i = 4; i < text.size(); ++i) {
                const char c = text[i];
                if (c == ')') {
                    end = i + 1;
                    break;
                }
                if (!IsDigit(c) && !((c | 0x20) >= 'a' && (c | 0x20) <= 'z') && c != '_') break;
            }
        }
        if (end != text.size()) return std::nullopt;
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (SameLetters(text, "inf")) {
        const std::size_t end = SameLetters(text, "infinity") ? 8 : 3;
        if (end != text.size()) return std::nullopt;
        return std::numeric_limits<double>::infinity();
    }
    return std::nullopt;
}

// strtod and snprintf write and read the point of the C library's locale, which a program
// may have set to the user's: the text given and taken here always has '.'.
std::string LocalPoint(std::string_view text) {
    const char* point = std::localeconv()->decimal_point;
    std::string out;
    for (char c : text) {
        if (c == '.')
            out += point;
        else
            out += c;
    }
    return out;
}

// The shortest decimal digits that read back as value (finite, above 0), and the exponent
// of the first: value ~ d.ddd x 10^exponent. Of the digits of one length, snprintf's
// correctly rounded ones are the closest; when they do not read back, the next ones up or
// down may, since the interval of texts that read back need not be centred on the value.
struct TDigits {
    std::string digits;
    int exponent = 0;
};

TDigits ShortestDigits(double value) {
    char buffer[40];
    for (int precision = 0;; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*e", precision, value);
        TDigits d;
        const char* p = buffer;
        for (; *p != 'e'; ++p)
            if (IsDigit(*p)) d.digits += *p;
        d.exponent = std::atoi(p + 1);
        // 17 significant digits always read back.
        if (precision >= 16 || std::strtod(buffer, nullptr) == value) return d;
        const unsigned long long rounded = std::strtoull(d.digits.c_str(), nullptr, 10);
        for (const unsigned long long next : {rounded + 1, rounded - 1}) {
            std::string digits = std::to_string(next);
            const int exponent = d.exponent - precision + static_cast<int>(digits.size()) - 1;
            const std::string text = digits + "e" + std::to_string(d.exponent - precision);
            if (next == 0 || std::strtod(text.c_str(), nullptr) != value) continue;
            while (digits.size() > 1 && digits.back() == '0')
                digits.pop_back();
            return {digits, exponent};
        }
    }
}

std::string ScientificLayout(const TDigits& d) {
    std::string text(1, d.digits[0]);
    if (d.digits.size() > 1) text += "." + d.digits.substr(1);
    const int e = d.exponent < 0 ? -d.exponent : d.exponent;
    text += d.exponent < 0 ? "e-" : "e+";
    if (e < 10) text += '0';
    return text + std::to_string(e);
}

std::string FixedLayout(const TDigits& d) {
    const auto n = static_cast<int>(d.digits.size());
    if (d.exponent < 0)
        return "0." + std::string(static_cast<std::size_t>(-d.exponent - 1), '0') + d.digits;
    if (n <= d.exponent + 1)
        return d.digits + std::string(static_cast<std::size_t>(d.exponent + 1 - n), '0');
    const auto whole = static_cast<std::size_t>(d.exponent + 1);
    return d.digits.substr(0, whole) + "." + d.digits.substr(whole);
}

// From 2^53 on a double is a whole number that the shortest digits may not spell out:
// <charconv> writes every digit of it in fixed notation.
constexpr double kExactFrom = 9007199254740992.0;

std::string ExactWhole(double value) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
}

// value is not negative.
std::string Unsigned(double value, bool fixedOnly) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return "inf";
    if (value == 0) return "0";
    const TDigits d = ShortestDigits(value);
    const std::string fixed = FixedLayout(d);
    if (!fixedOnly) {
        const std::string scientific = ScientificLayout(d);
        if (scientific.size() < fixed.size()) return scientific;
    }
    return value >= kExactFrom ? ExactWhole(value) : fixed;
}

std::string Signed(double value, bool fixedOnly) {
    if (std::signbit(value)) return "-" + Unsigned(-value, fixedOnly);
    return Unsigned(value, fixedOnly);
}

} // namespace

std::optional<double> Parse(std::string_view text) noexcept {
    try {
        const bool negative = !text.empty() && text.front() == '-';
        const std::string_view body = text.substr(negative ? 1 : 0);
        if (const auto special = Special(body)) return negative ? -*special : *special;
        std::size_t i = 0;
        const auto digits = [&] {
            const std::size_t from = i;
            while (i < body.size() && IsDigit(body[i]))
                ++i;
            return i - from;
        };
        std::size_t count = digits();
        if (i < body.size() && body[i] == '.') {
            ++i;
            count += digits();
        }
        if (count == 0) return std::nullopt;
        const std::size_t mantissa = i;
        if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
            ++i;
            if (i < body.size() && (body[i] == '+' || body[i] == '-')) ++i;
            // An exponent without digits is not part of the number.
            if (digits() == 0) i = mantissa;
        }
        if (i != body.size()) return std::nullopt;
        const std::string local = LocalPoint(body);
        const double value = std::strtod(local.c_str(), nullptr);
        const bool nonZero =
            body.substr(0, mantissa).find_first_of("123456789") != std::string_view::npos;
        if (std::isinf(value) || (value == 0 && nonZero)) return std::nullopt;
        return negative ? -value : value;
    } catch (...) {
        return std::nullopt; // no memory for the copy
    }
}

std::string Shortest(double value) {
    return Signed(value, false);
}

std::string Fixed(double value) {
    return Signed(value, true);
}

} // namespace decimal
