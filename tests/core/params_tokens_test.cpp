#include "params/ReplyTokens.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace params;
using namespace std::string_literals;

namespace {

using Tokens = std::vector<std::string_view>;

TEST(TokenizeReply, SplitsOnControlBytesAndStopsAtZero) {
    struct Case {
        std::string reply;
        Tokens tokens;
    };
    const std::vector<Case> cases{
        {"", {}},
        {" \t\r\n", {}},
        {"OK RxLevel 28000\r\n", {"OK", "RxLevel", "28000"}},
        {"  OK\t\tRxLevel \x01\x1f 28000", {"OK", "RxLevel", "28000"}},
        {"OK Channel u\r\n\0 extra"s, {"OK", "Channel", "u"}},
        {"\0OK RxLevel 1"s, {}},
        {"OK\x7f \x80\xff!", {"OK\x7f", "\x80\xff!"}},
        {"OK RxLevel 1 2 3", {"OK", "RxLevel", "1", "2", "3"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TokenizeReply(c.reply), c.tokens) << c.reply;
}

TEST(ParseInt32, TakesWholeSignedDecimalsWithinRange) {
    struct Case {
        std::string text;
        std::optional<std::int32_t> value;
    };
    const std::vector<Case> cases{
        {"0", 0},
        {"28000", 28000},
        {"-1", -1},
        {"+5", 5},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {"--1", std::nullopt},
        {"12a", std::nullopt},
        {"0x10", std::nullopt},
        {"1.0", std::nullopt},
        {"1e3", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseInt32(c.text), c.value) << c.text;
}

TEST(ParseReal, TakesPlainDecimalsWithAPointOnly) {
    struct Case {
        std::string text;
        std::optional<double> value;
    };
    const std::vector<Case> cases{
        {"0.8", 0.8},
        {"-12", -12.0},
        {"+0.5", 0.5},
        {".5", 0.5},
        {"5.", 5.0},
        {"1e2", 100.0},
        {"-9.5", -9.5},
        {"0", 0.0},
        {"1e308", 1e308},
        {"", std::nullopt},
        {"0,8", std::nullopt},
        {"-", std::nullopt},
        {"--1", std::nullopt},
        {"+-1", std::nullopt},
        {"nan", std::nullopt},
        {"-inf", std::nullopt},
        {"inf", std::nullopt},
        {"infinity", std::nullopt},
        {"NAN", std::nullopt},
        {"1e400", std::nullopt},
        {"-1e400", std::nullopt},
        {"0x1p3", std::nullopt},
        {"0.8V", std::nullopt},
        {".", std::nullopt},
        {"e5", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseReal(c.text), c.value) << c.text;
}

TEST(FormatReal, WritesTheShortestTextWithAPoint) {
    struct Case {
        double value;
        std::string text;
    };
    const std::vector<Case> cases{
        {0.8, "0.8"},
        {0.4, "0.4"},
        {-12, "-12"},
        {-3, "-3"},
        {0, "0"},
        {-0.0, "0"},
        {0.75, "0.75"},
        {1e21, "1000000000000000000000"},
        {0.1 + 0.2, "0.30000000000000004"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatReal(c.value), c.text);
    // Every text written reads back as the same number.
    for (double v : {0.8, 0.7, 0.6, 0.5, 0.4, -12.0, 1e-300, 1.7976931348623157e308}) {
        const auto text = FormatReal(v);
        EXPECT_EQ(text.find_first_of("eE,"), std::string::npos) << text;
        EXPECT_EQ(ParseReal(text), v) << text;
    }
}

TEST(ValueToken, IsTheThirdTokenOrAnError) {
    const auto tokens = TokenizeReply("OK RxLevel abc");
    EXPECT_EQ(ValueToken(tokens), "abc");
    EXPECT_EQ(IntValue(tokens, 28000), 28000);
    EXPECT_EQ(TextValue(tokens), "abc");
    EXPECT_THROW(RealValue(tokens), EConvertError);

    for (const std::string& reply : {"OK RxLevel"s, "RxLevel"s, ""s, "OK RxLevel\0 5"s}) {
        const auto few = TokenizeReply(reply);
        EXPECT_THROW(IntValue(few, 1), EConvertError) << reply;
        EXPECT_THROW(TextValue(few), EConvertError) << reply;
        EXPECT_THROW(RealValue(few), EConvertError) << reply;
    }
}

TEST(EConvertError, MessageIsPrintableAndNamesTheToken) {
    try {
        RealValue(TokenizeReply("OK CsgVoxNzccTh 0.\x80\xff"));
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'0.\\x80\\xFF' is not a valid floating point value");
    }
    try {
        TextValue(TokenizeReply("OK\x01"
                                "Channel"));
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'OK Channel' has no parameter value");
    }
}

} // namespace
