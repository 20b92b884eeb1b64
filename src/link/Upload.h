#pragma once
// The information-file upload of units with three-character firmware, and the serial
// number: packet layouts and texts, free of the window.
#include <cstddef>
#include <cstdint>
#include <string>

namespace channel {

enum class TUploadTag { Start, Data, End, Info, Other };

inline constexpr uint32_t kResultStart = 0x1001;
inline constexpr uint32_t kResultData = 0x1002;
inline constexpr uint32_t kResultEnd = 0x1003;
inline constexpr size_t kDataPacketBytes = 1016;
// Far above any information file a unit holds; a unit that keeps sending is refused.
inline constexpr size_t kMaxUploadBytes = 1 << 20;

// One packet as read from a reply text. Packets are read only as far as the text goes:
// a packet shorter than its layout is marked Short with the reason, and carries nothing.
struct TUploadPacket {
    TUploadTag Tag = TUploadTag::Other;
    int32_t Number = 0;  // offset 4: size, packet number or byte count
    std::string Text;    // start: file name; information: time stamp
    std::string Payload; // data and end packets: the file bytes
    bool Short = false;
    std::string Problem; // why a packet is short, for the log
};

TUploadPacket ParseUploadPacket(const std::string& reply);

// The 12-byte result packet: "UPLR", code, status, both little-endian.
std::string UploadResult(uint32_t code, uint32_t status);

// The serial number in an information file: the first line within its first 1025 bytes
// that holds "ser", with every "ser " removed; "Not found" when there is none.
std::string SerialFromFile(const std::string& file);

// The serial number in a "GSER" reply: 12 characters from the 27th, after every "OK "
// is removed.
std::string SerialFromReply(const std::string& reply);

// Every occurrence of the three bytes "OK " removed.
std::string RemoveOK(std::string text);

} // namespace channel
