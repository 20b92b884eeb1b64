// The portable conversions of reals (the web build's) against the standard library's, on
// the same text and the same values: what one reads or writes, the other must too.
#include "params/Decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

// DecimalPortable.cpp built once more with its namespace renamed (tests/core/CMakeLists.txt).
namespace portable_decimal {
std::optional<double> Parse(std::string_view text) noexcept;
std::string Shortest(double value);
std::string Fixed(double value);
} // namespace portable_decimal

namespace {

std::string Bits(const std::optional<double>& value) {
    if (!value) return "refused";
    if (std::isnan(*value)) return std::signbit(*value) ? "-nan" : "nan";
    std::uint64_t bits = 0;
    std::memcpy(&bits, &*value, sizeof bits);
    return std::to_string(bits);
}

// Both read the text alike; returns false (and says so) when they do not.
bool ReadAlike(const std::string& text) {
    const std::string expected = Bits(decimal::Parse(text));
    const std::string actual = Bits(portable_decimal::Parse(text));
    EXPECT_EQ(actual, expected) << "reading \"" << text << "\"";
    return actual == expected;
}

bool WriteAlike(double value) {
    const std::string shortest = decimal::Shortest(value), fixed = decimal::Fixed(value);
    EXPECT_EQ(portable_decimal::Shortest(value), shortest) << "shortest of " << fixed;
    EXPECT_EQ(portable_decimal::Fixed(value), fixed) << "fixed of " << shortest;
    return portable_decimal::Shortest(value) == shortest && portable_decimal::Fixed(value) == fixed;
}

TEST(Decimal, ReadsAndWritesTheFormsTheStandardLibraryDoes) {
    const char* const texts[] = {
        // taken
        "0", "-0", "1", "-1", "0.6", "-3.25", "1.", ".5", "-.5", "007", "1e3", "1E+03", "1e-3",
        "2.5e-324", "4.9e-324", "2.2250738585072014e-308", "1.7976931348623157e308",
        "9007199254740993", "18446744073709551617", "0.1000000000000000055511151231257827",
        "123456789012345678901234567890", "1e", "1e+", "1.5E-", "inf", "-Infinity", "nan",
        "NaN(123_abc)", "infinity",
        // refused
        "", "-", ".", "-.", "+1", " 1", "1 ", "0x1p3", "0X10", "1,5", "1..2", "--1", "e5", "1e5.5",
        "1.8e308", "-1e400", "1e-400", "infin", "nan(", "nan(1", "nan(a-b)", "info", "1e+-5"};
    for (const char* text : texts)
        ReadAlike(text);

    const double values[] = {0.0,
                             -0.0,
                             1.0,
                             -1.0,
                             0.1,
                             0.6,
                             1200.0,
                             1e21,
                             1e22,
                             1e23,
                             123456.0,
                             1e-5,
                             1.5e-7,
                             0.0001,
                             100000.0,
                             1e15,
                             1e16,
                             1e17,
                             9007199254740991.0,
                             9007199254740992.0,
                             9007199254740994.0,
                             18446744073709551616.0,
                             5e-324,
                             2.2250738585072014e-308,
                             1.7976931348623157e308,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    for (double value : values)
        WriteAlike(value);
}

// A sweep of generated values and texts: random bit patterns, short decimals, numbers near
// powers of ten and two, and the texts these make, mangled.
TEST(Decimal, AgreesOverAGeneratedSweep) {
    std::mt19937_64 random(20260302);
    std::vector<double> values;
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t bits = random();
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        values.push_back(v);
    }
    for (int i = 0; i < 20000; ++i)
        values.push_back(
            static_cast<double>(static_cast<std::int64_t>(random() % 2000001) - 1000000) /
            std::pow(10.0, static_cast<double>(random() % 8)));
    for (int e = -325; e <= 309; ++e) {
        const double p = std::pow(10.0, e);
        values.insert(values.end(),
                      {p, std::nextafter(p, 0.0),
                       std::nextafter(p, std::numeric_limits<double>::infinity()), -p});
    }
    for (int e = -1074; e <= 1023; e += 3)
        values.push_back(std::ldexp(1.0, e));
    for (std::int64_t k = -40; k <= 40; ++k)
        values.push_back(9007199254740992.0 + static_cast<double>(k * 2));

    int failures = 0;
    const char* const mangles[] = {"", "0", "e", "e+", "e-7", "e400", ".", "x"};
    for (double value : values) {
        if (!WriteAlike(value)) ++failures;
        for (const std::string& text : {decimal::Shortest(value), decimal::Fixed(value)})
            for (const char* tail : mangles)
                if (!ReadAlike(text + tail) || !ReadAlike("+" + text + tail)) ++failures;
        ASSERT_LT(failures, 20) << "stopped after 20 disagreements";
    }
    EXPECT_EQ(failures, 0);
}

} // namespace
