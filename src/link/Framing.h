#pragma once
// Framing of commands into output reports and of input reports into replies. Commands
// and replies are byte strings: any byte value, length not ended by a zero byte.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace channel {

constexpr size_t kOutputBufferSize = 2049; // report ID + 2048 command bytes
constexpr size_t kMaxCommandLength = kOutputBufferSize - 1;

// "FILEINFO<name>" (letters of the prefix in any case) is sent as "FINS<name>", the
// name cut at 46 characters. Returns nullopt when the name is empty: nothing is sent.
// Any other text is returned unchanged.
std::optional<std::string> ApplyFileInfoAlias(const std::string& text);

enum class TReplyKind { Line, File, Raw };

struct TReply {
    TReplyKind Kind = TReplyKind::Raw;
    std::string Text;      // terminator removed
    std::string Hex;       // taken bytes, terminator included: "4F,4B,0D,0A"
    std::string Printable; // Text with every byte outside 0x20..0x7E shown as '_'
};

// One input report (the bytes after the report ID) as the reply the steps see.
TReply ParseReply(const uint8_t* data, size_t size);

// What is logged for a received report: hex, '-', printable form (ASCII). The second form
// writes it over out, whose buffer a caller keeps from one report to the next.
std::string ReplyLogText(const TReply& reply);
void ReplyLogText(const TReply& reply, std::string& out);

} // namespace channel
