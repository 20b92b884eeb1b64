// A series of packets through the conversation core's upload step, its state kept from one
// packet to the next: each packet is preceded by a two-byte little-endian length and reaches
// the core as an input report, through the reply framing.
#include "link/Upload.h"
#include "support/ConversationPeer.h"
#include "support/CoreRig.h"

#include <cstdlib>

namespace {

std::uint32_t Le32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v |= std::uint32_t(static_cast<std::uint8_t>(s[at + i])) << (8 * i);
    return v;
}

// Everything the core writes during an upload is a result packet: "UPLR", the code of the
// packet it answers, status 0 or 1.
bool IsResultPacket(const std::string& report) {
    if (report.size() < 13 || report.compare(1, 4, "UPLR") != 0) return false;
    const std::uint32_t code = Le32(report, 5);
    const std::uint32_t status = Le32(report, 9);
    return code >= channel::kResultStart && code <= channel::kResultEnd && status <= 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    testing_support::TCoreRig rig;
    testing_support::TFakeHidDevice* unit = rig.PlugBare();
    unit->Caps.InputReportByteLength = 1025;
    unit->Caps.OutputReportByteLength = 1025;
    std::size_t pos = 0;
    while (pos + 2 <= size) {
        const std::size_t len =
            std::min<std::size_t>(data[pos] | (data[pos + 1] << 8), size - pos - 2);
        std::string report(1, '\0');
        report.append(reinterpret_cast<const char*>(data + pos + 2), len);
        pos += 2 + len;
        testing_support::Peer(rig.conversation).SetPhase(core::TPhase::UploadingInformationFile);
        rig.Deliver(report);
        rig.Step();
        if (rig.conversation.UploadedFile().size() > channel::kMaxUploadBytes) std::abort();
    }
    for (const auto& written : unit->Sent)
        if (!IsResultPacket(written)) std::abort();
    return 0;
}
