#pragma once
// Splitting a parameter reply ("OK <key> <value>") and converting its value token.
// Reals are read and written with a point whatever the user's locale: the device expects one.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace params {

// Raised when a parameter reply names a key but its value cannot be taken: fewer than three
// tokens, or a real value that is not a number. The handler's edge shows what() in the general
// error box; what() is printable ASCII (other bytes of the reply appear as \xNN).
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Tokens of a reply: maximal runs of bytes above 32; bytes 1 to 32 separate, a zero byte ends
// the text. The views point into reply.
std::vector<std::string_view> TokenizeReply(std::string_view reply);

// Keys are found anywhere in the whole reply text, case-sensitive.
inline bool ReplyContains(std::string_view reply, std::string_view key) noexcept {
    return reply.find(key) != std::string_view::npos;
}

// A signed decimal 32-bit integer, optional sign, the whole text; nothing else.
std::optional<std::int32_t> ParseInt32(std::string_view text) noexcept;
// A finite decimal real with '.' as separator and an optional exponent, the whole text.
// "nan", "inf", hexadecimal and values beyond the double range are refused.
std::optional<double> ParseReal(std::string_view text) noexcept;
// Shortest text that reads back as the same double, plain decimal with '.' ("0.8", "-12",
// "0"); negative zero is written "0".
std::string FormatReal(double value);

// The value token (the third) of a tokenized reply, converted. All throw EConvertError when
// there are fewer than three tokens; IntValue falls back to fallback for a malformed integer,
// RealValue throws for a malformed real.
std::string_view ValueToken(const std::vector<std::string_view>& tokens);
std::int32_t IntValue(const std::vector<std::string_view>& tokens, std::int32_t fallback);
double RealValue(const std::vector<std::string_view>& tokens);
std::string TextValue(const std::vector<std::string_view>& tokens);

} // namespace params
