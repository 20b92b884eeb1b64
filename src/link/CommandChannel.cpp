// The window's half of the link: one command per output report, one reply per input
// report.
#include "app/Main.h"
#include "link/Framing.h"

#include <cerrno>
#include <cstring>

namespace {

// The error code a write gets when this user may not open the unit read-write.
bool AccessDenied(uint32_t code) {
#if defined(_WIN32)
    return code == 5; // ERROR_ACCESS_DENIED
#else
    return code == EACCES || code == EPERM;
#endif
}

} // namespace

void TForm1::SendCommand(const std::string& text) {
    const auto sent = channel::ApplyFileInfoAlias(text);
    if (!sent) {
        WriteLog(QStringLiteral("Error : Filename is not specified."), kLogSent);
        return;
    }
    WriteLog(*sent, kLogSent);

    std::memset(OutputReport, 0, sizeof OutputReport);
    if (sent->size() > channel::kMaxCommandLength) {
        AddLog(QStringLiteral("Error : Command too long (%1 bytes, at most %2); not sent.")
                   .arg(sent->size())
                   .arg(channel::kMaxCommandLength));
        return;
    }
    std::memcpy(OutputReport + 1, sent->data(), sent->size());

    if (!HidDev) return;
    // A reply that arrived before this command cannot be taken for its answer.
    Received = false;
    PendingReplies.clear();

    const uint16_t length = HidDev->QueryCaps().OutputReportByteLength;
    if (length > sizeof OutputReport) {
        // The buffer holds one report of at most 2049 bytes; a longer report would be
        // read from past its end.
        AddLog(QStringLiteral("Error : Output report length %1 exceeds %2 bytes; not sent.")
                   .arg(length)
                   .arg(sizeof OutputReport));
        return;
    }
    uint32_t written = 0;
    if (HidDev->WriteReport(OutputReport, length, written)) {
        HidDev->CloseMain();
        return;
    }
    const uint32_t code = HidDev->LastErrorCode();
    AddLog(QStringLiteral("WRITE1_ERROR,") + QString::fromLocal8Bit(HidDev->ErrorMessage(code)) +
           QStringLiteral(" (") + QString::number(code, 16).toUpper() + QStringLiteral(")"));
    if (AccessDenied(code))
        AddLog(QStringLiteral("Permission denied: this user may not write to the transceiver. "
                              "Install the udev rule 70-sonavelle.rules (see README) and plug the "
                              "unit in again."));
}

void TForm1::HidCtrl1DeviceData(hid::TCustomHidDevice*, uint8_t, const uint8_t* Data,
                                uint16_t Size) {
    Guarded([&] {
        const channel::TReply reply = channel::ParseReply(Data, Size);
        ReplyHex = reply.Hex;
        WriteLog(channel::ReplyLogText(reply), kLogReceived);
        if (!Received || (ReplySeen && PendingReplies.empty())) {
            ReplyText = reply.Text;
            Received = true;
            ReplySeen = false;
            return;
        }
        // No step has looked at the last reply yet: this one waits its turn.
        if (PendingReplies.size() >= kMaxPendingReplies) {
            PendingReplies.pop_front();
            AddLog(QStringLiteral("Error : Too many replies waiting; the oldest was dropped."));
        }
        PendingReplies.push_back(reply.Text);
    });
}

void TForm1::TakeNextReply() {
    if ((Received && !ReplySeen) || PendingReplies.empty()) return;
    ReplyText = std::move(PendingReplies.front());
    PendingReplies.pop_front();
    Received = true;
    ReplySeen = false;
}

void TForm1::AnswerLocally(const std::string& reply) {
    ReplyText = reply;
    Received = true;
    LocalReply = true;
}
