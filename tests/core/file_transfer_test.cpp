// Uploading the information file and reading the serial, against hand-made packets, on a bare unit.
#include "link/Upload.h"
#include "support/ConversationPeer.h"
#include "support/CoreRig.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testing_support;
using core::TControl;

namespace {

// A bare unit the test answers for, and the log read by direction.
class BareUnitTest : public ::testing::Test {
  protected:
    void PlugTransceiver() { unit = rig.PlugBare(); }
    void Tick(int count = 1) { rig.Steps(count); }
    void Answer(const std::string& text) { rig.Answer(text); }
    bool Logged(int direction, std::string_view text) const {
        return std::any_of(rig.log.lines.begin(), rig.log.lines.end(), [&](const TLogLine& l) {
            return l.direction == direction && l.text == text;
        });
    }
    std::vector<std::string> Commands() const {
        std::vector<std::string> commands;
        for (const auto& r : unit->Sent)
            commands.push_back(CommandOf(r));
        return commands;
    }

    TCoreRig rig;
    TFakeHidDevice* unit = nullptr;
};

std::string Le(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

class FileTransfer : public BareUnitTest {
  protected:
    void SetUp() override {
        PlugTransceiver();
        unit->Caps.InputReportByteLength = 1025;
        Tick();
        Answer("OK");
        Answer("OK ABC");
        ASSERT_EQ(rig.conversation.Phase(), core::TPhase::UploadingInformationFile);
        unit->Sent.clear();
    }
    void Packet(const std::string& bytes) {
        rig.Deliver(InputReport(bytes, 1025));
        Tick();
    }
    std::string LastResult() const {
        return unit->Sent.empty() ? "" : unit->Sent.back().substr(1, 12);
    }
    std::string DataPacket(uint32_t n, char fill) {
        return "UPLD" + Le(n) + std::string(1016, fill);
    }
};

TEST_F(FileTransfer, WholeUploadIsVerifiedAndGivesTheSerialNumber) {
    std::string file = "[info]\r\nser 0123456789AB\r\n";
    file.resize(2132, 'z');
    Packet("UPLS" + Le(2132) + Le(0) + "DWINFO.INI");
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1001, 0));
    EXPECT_TRUE(Logged(core::kLogReceived, "Upload : Started. fileName:DWINFO.INI"));
    Packet("UPLD" + Le(0) + file.substr(0, 1016));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 0));
    Packet("UPLD" + Le(1) + file.substr(1016, 1016));
    Packet("UPLE" + Le(100) + file.substr(2032));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1003, 0));
    EXPECT_EQ(unit->Sent.size(), 4u);
    Packet("UPLI" + Le(2132) + "2026/12/07");
    EXPECT_EQ(unit->Sent.size(), 4u);
    EXPECT_TRUE(Logged(core::kLogNote, "Verify : OK. fileSize:2132 timeStamp:2026/12/07"));
    EXPECT_TRUE(Logged(core::kLogReceived, "Upload : Done"));
    EXPECT_EQ(rig[TControl::Edit2].text, "0123456789AB");
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Closing);
    EXPECT_EQ(rig.conversation.UploadedFile(), file);
}

TEST_F(FileTransfer, PacketNumberErrorLeavesTheUploadIdle) {
    Packet("UPLS" + Le(0) + Le(0) + "DWINFO.INI");
    Packet(DataPacket(1, 'a'));
    EXPECT_TRUE(Logged(core::kLogReceived, "Error : Invalid packet number."));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 1));
    EXPECT_FALSE(testing_support::Peer(rig.conversation).UploadRunning());
    Packet(DataPacket(0, 'a'));
    EXPECT_TRUE(Logged(core::kLogReceived, "Error : Invalid status."));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 1));
    EXPECT_TRUE(rig.conversation.UploadedFile().empty());
}

TEST_F(FileTransfer, DataBeforeStartLogsBothErrors) {
    Packet(DataPacket(2, 'a'));
    EXPECT_TRUE(Logged(core::kLogReceived, "Error : Invalid status."));
    EXPECT_TRUE(Logged(core::kLogReceived, "Error : Invalid packet number."));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 1));
}

TEST_F(FileTransfer, SecondEndPacketIsIgnoredUnanswered) {
    Packet("UPLS" + Le(0) + Le(0) + "DWINFO.INI");
    Packet("UPLE" + Le(3) + "abc");
    Packet("UPLE" + Le(3) + "def");
    EXPECT_EQ(unit->Sent.size(), 2u);
    EXPECT_EQ(rig.conversation.UploadedFile(), "abc");
    EXPECT_EQ(rig.log.lines.back().text, "受信データ無視");
}

TEST_F(FileTransfer, SizeMismatchEndsWithoutTouchingTheSerial) {
    testing_support::Peer(rig.conversation).SetSerial("keep");
    Packet("UPLS" + Le(0) + Le(0) + "DWINFO.INI");
    Packet("UPLE" + Le(3) + "abc");
    Packet("UPLI" + Le(4) + "stamp");
    EXPECT_TRUE(Logged(core::kLogNote, "Error : Verify NG. fileSize:4 timeStamp:stamp"));
    EXPECT_EQ(rig[TControl::Edit2].text, "keep");
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Closing);
}

TEST_F(FileTransfer, ShortPacketsAreRefusedAndTheUploadGoesOn) {
    Packet("UPLS" + Le(0) + Le(0) + "DWINFO.INI");
    // A data packet whose bytes hold "OK" reaches the step cut at its CR LF.
    rig.Deliver(InputReport("UPLD" + Le(0) + "OK\r\n" + std::string(1012, 'a'), 1025));
    Tick();
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 1));
    EXPECT_TRUE(
        Logged(core::kLogNote, "Error : Short upload packet (data packet of 10 bytes); refused."));
    EXPECT_TRUE(testing_support::Peer(rig.conversation).UploadRunning());
    Packet(DataPacket(0, 'b'));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 0));
    EXPECT_EQ(rig.conversation.UploadedFile().size(), 1016u);
    Packet("UPLE" + Le(0x80000000u) + "x");
    EXPECT_EQ(unit->Sent.back().substr(1, 12),
              channel::UploadResult(0x1003, 0).substr(0, 8) + Le(1));
    EXPECT_FALSE(testing_support::Peer(rig.conversation).UploadEndSeen());
}

TEST_F(FileTransfer, EndPacketThatWouldPassTheCapIsRefused) {
    Packet("UPLS" + Le(0) + Le(0) + "DWINFO.INI");
    const uint32_t packets = static_cast<uint32_t>(channel::kMaxUploadBytes / 1016);
    for (uint32_t i = 0; i < packets; ++i)
        Packet(DataPacket(i, 'c'));
    const size_t room = channel::kMaxUploadBytes - rig.conversation.UploadedFile().size();
    ASSERT_LT(room, 1016u);
    Packet("UPLE" + Le(static_cast<uint32_t>(room + 1)) + std::string(room + 1, 'e'));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1003, 1));
    EXPECT_EQ(rig.conversation.UploadedFile().size(), channel::kMaxUploadBytes - room);
    EXPECT_TRUE(Logged(core::kLogNote, "Error : Upload exceeds 1048576 bytes; refused."));
}

TEST_F(FileTransfer, EndlessDataIsCappedWithALogLine) {
    Packet("UPLS" + Le(0) + Le(0) + "DWINFO.INI");
    const int packets = static_cast<int>(channel::kMaxUploadBytes / 1016) + 1;
    for (int i = 0; i <= packets; ++i)
        Packet(DataPacket(static_cast<uint32_t>(i), 'c'));
    EXPECT_LE(rig.conversation.UploadedFile().size(), channel::kMaxUploadBytes);
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 1));
    EXPECT_GE(rig.LogCount("Error : Upload exceeds"), 1);
}

using SerialReply = BareUnitTest;

TEST_F(SerialReply, NgShowsNotFoundAndStartsTheReadBack) {
    PlugTransceiver();
    Tick();
    Answer("OK");
    Answer("OK 201016");
    Answer("NG");
    EXPECT_EQ(rig[TControl::Edit2].text, "Not found");
    EXPECT_EQ(Commands().back(), "GETTMPPARAM");
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::ReadingDefaults);
}

TEST_F(SerialReply, UnsupportedFirmwareEndsAfterTheSerial) {
    PlugTransceiver();
    Tick();
    Answer("OK");
    Answer("OK 202000");
    Answer("OK " + std::string(26, ' ') + "SN0000000042");
    EXPECT_EQ(rig[TControl::Edit2].text, "SN0000000042");
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Closing);
    EXPECT_EQ(Commands().back(), "GSER");
}

TEST_F(SerialReply, OtherReplyLeavesTheSerialAndGoesOn) {
    PlugTransceiver();
    testing_support::Peer(rig.conversation).SetSerial("before");
    Tick();
    Answer("OK");
    Answer("OK 201016");
    testing_support::Peer(rig.conversation).SetSerial("before");
    rig.Deliver(InputReport("garbage"));
    Tick();
    EXPECT_EQ(rig[TControl::Edit2].text, "before");
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::ReadingDefaults);
}

TEST_F(SerialReply, SameUnitAfterReconnectSkipsTheDefaultReadBack) {
    PlugTransceiver();
    testing_support::Peer(rig.conversation).SetInitialRead(1, "201026", "DW730 TONAL");
    Tick();
    Answer("OK");
    Answer("OK 201026");
    Answer("OK DW730 TONAL");
    Answer("OK " + std::string(26, ' ') + "SN");
    EXPECT_EQ(Commands().back(), "GPAR");
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::ReadingCurrent);
    EXPECT_EQ(rig.conversation.CurrentReceivedCount(), 0);
    // The one-second wait of the read-back starts with the command.
    Tick(999);
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::ReadingCurrent);
    Tick();
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
}

} // namespace
