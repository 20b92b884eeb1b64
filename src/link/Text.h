#pragma once
// Byte texts of the unit and the platform turned into the UTF-8 the log and the panel carry.
#include <cstdint>
#include <string>
#include <string_view>

namespace core {

// One byte, one character (ISO 8859-1): commands, replies, names from the unit.
std::string Latin1ToUtf8(std::string_view bytes);
void AppendLatin1AsUtf8(std::string& out, std::string_view bytes);
// UTF-16 from the platform; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// Upper-case hexadecimal digits without leading zeros, padded to width.
std::string Hex(std::uint32_t value, int width = 0);

} // namespace core
