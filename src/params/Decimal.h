#pragma once
// Reals to and from text exactly as <charconv> reads and writes a double, with a point
// whatever the user's locale. Two implementations of these three, the build picks one:
// DecimalStd.cpp (std::from_chars, std::to_chars) and DecimalPortable.cpp (strtod and
// snprintf, for a standard library without floating-point <charconv>, as the web build's).

#include <optional>
#include <string>
#include <string_view>

namespace decimal {

// The whole text as std::from_chars(general) reads it: '-' or nothing, then digits with at
// most one point (a digit next to it), an optional exponent; or inf, infinity, nan,
// nan(chars) in any letter case. No '+', no blank, no hexadecimal. Nothing when some of the
// text is left over or the value is beyond a double's range.
std::optional<double> Parse(std::string_view text) noexcept;

// The shortest text that reads back as value, as std::to_chars(value) writes it: fixed, or
// scientific when that is shorter.
std::string Shortest(double value);

// The same in fixed notation, as std::to_chars(value, std::chars_format::fixed) writes it.
std::string Fixed(double value);

} // namespace decimal
