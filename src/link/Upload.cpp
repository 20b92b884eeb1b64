#include "link/Upload.h"

#include <algorithm>

namespace channel {

namespace {

uint32_t Le32(const std::string& s, size_t offset) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v |= uint32_t(static_cast<uint8_t>(s[offset + i])) << (8 * i);
    return v;
}

void PutLe32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The text field [from, 64) up to its first zero byte. A field cut short by the end of
// the reply with no zero byte in it is incomplete.
bool TextField(const std::string& reply, size_t from, std::string& text) {
    const size_t end = std::min<size_t>(reply.size(), 64);
    if (from > end) return false;
    const size_t zero = reply.find('\0', from);
    if (zero != std::string::npos && zero < end) {
        text = reply.substr(from, zero - from);
        return true;
    }
    text = reply.substr(from, end - from);
    return reply.size() >= 64;
}

TUploadPacket ShortPacket(TUploadPacket p, std::string problem) {
    p.Short = true;
    p.Problem = std::move(problem);
    p.Text.clear();
    p.Payload.clear();
    return p;
}

} // namespace

TUploadPacket ParseUploadPacket(const std::string& reply) {
    TUploadPacket p;
    const std::string tag = reply.substr(0, 4);
    if (tag == "UPLS")
        p.Tag = TUploadTag::Start;
    else if (tag == "UPLD")
        p.Tag = TUploadTag::Data;
    else if (tag == "UPLE")
        p.Tag = TUploadTag::End;
    else if (tag == "UPLI")
        p.Tag = TUploadTag::Info;
    else
        return p;

    if (reply.size() < 8)
        return ShortPacket(p, "packet of " + std::to_string(reply.size()) + " bytes");
    p.Number = static_cast<int32_t>(Le32(reply, 4));
    switch (p.Tag) {
    case TUploadTag::Start:
        if (!TextField(reply, 12, p.Text)) return ShortPacket(p, "file name not ended");
        break;
    case TUploadTag::Info:
        if (!TextField(reply, 8, p.Text)) return ShortPacket(p, "time stamp not ended");
        break;
    case TUploadTag::Data:
        if (reply.size() < 8 + kDataPacketBytes)
            return ShortPacket(p, "data packet of " + std::to_string(reply.size()) + " bytes");
        p.Payload = reply.substr(8, kDataPacketBytes);
        break;
    case TUploadTag::End:
        if (p.Number < 0 || static_cast<size_t>(p.Number) > reply.size() - 8)
            return ShortPacket(p, "end packet of " + std::to_string(reply.size()) + " bytes for " +
                                      std::to_string(p.Number) + " file bytes");
        p.Payload = reply.substr(8, static_cast<size_t>(p.Number));
        break;
    case TUploadTag::Other:
        break;
    }
    return p;
}

std::string UploadResult(uint32_t code, uint32_t status) {
    std::string packet = "UPLR";
    PutLe32(packet, code);
    PutLe32(packet, status);
    return packet;
}

std::string SerialFromFile(const std::string& file) {
    std::string text = file.substr(0, 1025);
    if (const auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
    std::string serial;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\r', start), text.find('\n', start));
        const std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        if (line.find("ser") != std::string::npos) {
            serial = line;
            for (size_t pos = serial.find("ser "); pos != std::string::npos;
                 pos = serial.find("ser ", pos))
                serial.erase(pos, 4);
            break;
        }
        if (end == std::string::npos) break;
        start = end + ((text.compare(end, 2, "\r\n") == 0) ? 2 : 1);
    }
    return serial.empty() ? "Not found" : serial;
}

std::string RemoveOK(std::string text) {
    for (size_t pos = text.find("OK "); pos != std::string::npos; pos = text.find("OK ", pos))
        text.erase(pos, 3);
    return text;
}

std::string SerialFromReply(const std::string& reply) {
    const std::string rest = RemoveOK(reply);
    return rest.size() < 27 ? std::string() : rest.substr(26, 12);
}

} // namespace channel
