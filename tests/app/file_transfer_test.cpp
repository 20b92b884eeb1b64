// Steps 5 and 6 against hand-made packets.
#include "link/Upload.h"
#include "support/WindowWidgets.h"
#include "support/WindowFixture.h"

using namespace testing_support;

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

std::string Le(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

class FileTransfer : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        PlugTransceiver();
        unit->Caps.InputReportByteLength = 1025;
        Tick();
        Answer("OK");
        Answer("OK ABC");
        ASSERT_EQ(form->Conversation().StepNo(), 5);
        unit->Sent.clear();
    }
    void Packet(const std::string& bytes) {
        hid->Deliver(unit, InputReport(bytes, 1025));
        Tick();
    }
    std::string LastResult() const { return unit->Sent.empty() ? "" : unit->Sent.back().substr(1, 12); }
    std::string DataPacket(uint32_t n, char fill) { return "UPLD" + Le(n) + std::string(1016, fill); }
};

TEST_F(FileTransfer, WholeUploadIsVerifiedAndGivesTheSerialNumber) {
    std::string file = "[info]\r\nser 0123456789AB\r\n";
    file.resize(2132, 'z');
    Packet("UPLS" + Le(2132) + Le(0) + "DWINFO.INI");
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1001, 0));
    EXPECT_TRUE(LogHas(U("<<Upload : Started. fileName:DWINFO.INI")));
    Packet("UPLD" + Le(0) + file.substr(0, 1016));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 0));
    Packet("UPLD" + Le(1) + file.substr(1016, 1016));
    Packet("UPLE" + Le(100) + file.substr(2032));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1003, 0));
    EXPECT_EQ(unit->Sent.size(), 4u);
    Packet("UPLI" + Le(2132) + "2026/12/07");
    EXPECT_EQ(unit->Sent.size(), 4u);
    EXPECT_TRUE(LogHas(U("  Verify : OK. fileSize:2132 timeStamp:2026/12/07")));
    EXPECT_TRUE(LogHas(U("<<Upload : Done")));
    EXPECT_EQ(Edit2(form)->text(), U("0123456789AB"));
    EXPECT_EQ(form->Conversation().StepNo(), 99);
    EXPECT_EQ(form->Conversation().UploadedFile(), file);
}

TEST_F(FileTransfer, PacketNumberErrorLeavesTheUploadIdle) {
    Packet("UPLS" + Le(0) + Le(0) + "DWINFO.INI");
    Packet(DataPacket(1, 'a'));
    EXPECT_TRUE(LogHas(U("<<Error : Invalid packet number.")));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 1));
    EXPECT_FALSE(form->Conversation().UploadRunning());
    Packet(DataPacket(0, 'a'));
    EXPECT_TRUE(LogHas(U("<<Error : Invalid status.")));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 1));
    EXPECT_TRUE(form->Conversation().UploadedFile().empty());
}

TEST_F(FileTransfer, DataBeforeStartLogsBothErrors) {
    Packet(DataPacket(2, 'a'));
    const QStringList log = LogTexts();
    EXPECT_TRUE(log.contains(U("<<Error : Invalid status.")));
    EXPECT_TRUE(log.contains(U("<<Error : Invalid packet number.")));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 1));
}

TEST_F(FileTransfer, SecondEndPacketIsIgnoredUnanswered) {
    Packet("UPLS" + Le(0) + Le(0) + "DWINFO.INI");
    Packet("UPLE" + Le(3) + "abc");
    Packet("UPLE" + Le(3) + "def");
    EXPECT_EQ(unit->Sent.size(), 2u);
    EXPECT_EQ(form->Conversation().UploadedFile(), "abc");
    EXPECT_EQ(LogTexts().last(), U("  受信データ無視"));
}

TEST_F(FileTransfer, SizeMismatchEndsWithoutTouchingTheSerial) {
    SetPanelText(params::TControl::Edit2, "keep");
    Packet("UPLS" + Le(0) + Le(0) + "DWINFO.INI");
    Packet("UPLE" + Le(3) + "abc");
    Packet("UPLI" + Le(4) + "stamp");
    EXPECT_TRUE(LogHas(U("  Error : Verify NG. fileSize:4 timeStamp:stamp")));
    EXPECT_EQ(Edit2(form)->text(), U("keep"));
    EXPECT_EQ(form->Conversation().StepNo(), 99);
}

TEST_F(FileTransfer, ShortPacketsAreRefusedAndTheUploadGoesOn) {
    Packet("UPLS" + Le(0) + Le(0) + "DWINFO.INI");
    // A data packet whose bytes hold "OK" reaches the step cut at its CR LF.
    hid->Deliver(unit, InputReport("UPLD" + Le(0) + "OK\r\n" + std::string(1012, 'a'), 1025));
    Tick();
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 1));
    EXPECT_TRUE(LogTexts().contains(U("  Error : Short upload packet (data packet of 10 bytes); refused.")));
    EXPECT_TRUE(form->Conversation().UploadRunning());
    Packet(DataPacket(0, 'b'));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 0));
    EXPECT_EQ(form->Conversation().UploadedFile().size(), 1016u);
    Packet("UPLE" + Le(0x80000000u) + "x");
    EXPECT_EQ(unit->Sent.back().substr(1, 12), channel::UploadResult(0x1003, 0).substr(0, 8) + Le(1));
    EXPECT_FALSE(form->Conversation().UploadEndSeen());
}

TEST_F(FileTransfer, EndPacketThatWouldPassTheCapIsRefused) {
    Packet("UPLS" + Le(0) + Le(0) + "DWINFO.INI");
    const uint32_t packets = static_cast<uint32_t>(channel::kMaxUploadBytes / 1016);
    for (uint32_t i = 0; i < packets; ++i)
        Packet(DataPacket(i, 'c'));
    const size_t room = channel::kMaxUploadBytes - form->Conversation().UploadedFile().size();
    ASSERT_LT(room, 1016u);
    Packet("UPLE" + Le(static_cast<uint32_t>(room + 1)) + std::string(room + 1, 'e'));
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1003, 1));
    EXPECT_EQ(form->Conversation().UploadedFile().size(), channel::kMaxUploadBytes - room);
    EXPECT_TRUE(LogTexts().contains(U("  Error : Upload exceeds 1048576 bytes; refused.")));
}

TEST_F(FileTransfer, EndlessDataIsCappedWithALogLine) {
    Packet("UPLS" + Le(0) + Le(0) + "DWINFO.INI");
    const int packets = static_cast<int>(channel::kMaxUploadBytes / 1016) + 1;
    for (int i = 0; i <= packets; ++i) Packet(DataPacket(static_cast<uint32_t>(i), 'c'));
    EXPECT_LE(form->Conversation().UploadedFile().size(), channel::kMaxUploadBytes);
    EXPECT_EQ(LastResult(), channel::UploadResult(0x1002, 1));
    EXPECT_TRUE(LogTexts().filter(U("exceeds")).size() >= 1);
}

using SerialReply = WindowTest;

TEST_F(SerialReply, NgShowsNotFoundAndStartsTheReadBack) {
    PlugTransceiver();
    Tick();
    Answer("OK");
    Answer("OK 201016");
    Answer("NG");
    EXPECT_EQ(Edit2(form)->text(), U("Not found"));
    EXPECT_EQ(Commands().back(), "GETTMPPARAM");
    EXPECT_EQ(form->Conversation().StepNo(), 7);
}

TEST_F(SerialReply, UnsupportedFirmwareEndsAfterTheSerial) {
    PlugTransceiver();
    Tick();
    Answer("OK");
    Answer("OK 202000");
    Answer("OK " + std::string(26, ' ') + "SN0000000042");
    EXPECT_EQ(Edit2(form)->text(), U("SN0000000042"));
    EXPECT_EQ(form->Conversation().StepNo(), 99);
    EXPECT_EQ(Commands().back(), "GSER");
}

TEST_F(SerialReply, OtherReplyLeavesTheSerialAndGoesOn) {
    PlugTransceiver();
    SetPanelText(params::TControl::Edit2, "before");
    Tick();
    Answer("OK");
    Answer("OK 201016");
    SetPanelText(params::TControl::Edit2, "before");
    hid->Deliver(unit, InputReport("garbage"));
    Tick();
    EXPECT_EQ(Edit2(form)->text(), U("before"));
    EXPECT_EQ(form->Conversation().StepNo(), 7);
}

TEST_F(SerialReply, SameUnitAfterReconnectSkipsTheDefaultReadBack) {
    PlugTransceiver();
    form->Conversation().SetInitialReadForTest(1, "201026", "DW730 TONAL");
    Tick();
    Answer("OK");
    Answer("OK 201026");
    Answer("OK DW730 TONAL");
    Answer("OK " + std::string(26, ' ') + "SN");
    EXPECT_EQ(Commands().back(), "GPAR");
    EXPECT_EQ(form->Conversation().StepNo(), 8);
    EXPECT_EQ(form->Conversation().CurrentReceivedCount(), 0);
    // The one-second wait of the read-back starts with the command.
    Tick(999);
    EXPECT_EQ(form->Conversation().StepNo(), 8);
    Tick();
    EXPECT_EQ(form->Conversation().StepNo(), 1);
}

} // namespace
