// One input report through the reply framing: kind, terminator, text, hex, log line.
#include "link/Framing.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto reply = channel::ParseReply(data, size);
    if (reply.Text.size() > size || reply.Printable.size() != reply.Text.size()) std::abort();
    if (!reply.Hex.empty() && reply.Hex.size() % 3 != 2) std::abort();
    (void)channel::ReplyLogText(reply);
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)channel::ApplyFileInfoAlias(text);
    return 0;
}
