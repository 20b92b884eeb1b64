// Commands out, replies in, through the checked-out device: the conversation's command
// channel on a bare transceiver the test answers for (the reply queue's own rules are in
// reply_queue_test.cpp).
#include "support/CoreRig.h"
#include "support/ConversationPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

using namespace testing_support;

namespace {

class CommandChannel : public ::testing::Test {
  protected:
    void SetUp() override {
        unit = rig.PlugBare();
        ASSERT_EQ(testing_support::Peer(rig.conversation).Device(), unit);
    }
    void Send(const std::string& text) {
        testing_support::Peer(rig.conversation).SendCommand(text);
    }
    core::TReplyQueue& Replies() { return testing_support::Peer(rig.conversation).Replies(); }
    bool Logged(int direction, std::string_view text) const {
        return std::any_of(rig.log.lines.begin(), rig.log.lines.end(), [&](const TLogLine& l) {
            return l.direction == direction && l.text == text;
        });
    }
    const std::string& LastLine() const { return rig.log.lines.back().text; }

    TCoreRig rig;
    TFakeHidDevice* unit = nullptr;
};

TEST_F(CommandChannel, CommandGoesOutAsOneZeroPaddedReportOfTheDevicesLength) {
    for (uint16_t length : {uint16_t(5), uint16_t(8), uint16_t(65), uint16_t(2049)}) {
        unit->Caps.OutputReportByteLength = length;
        unit->Sent.clear();
        Send("GSER");
        ASSERT_EQ(unit->Sent.size(), 1u);
        std::string expected = std::string(1, '\0') + "GSER";
        expected.resize(length, '\0');
        EXPECT_EQ(unit->Sent[0], expected.substr(0, length)) << length;
    }
    EXPECT_GE(unit->CloseMainCount, 4);
}

TEST_F(CommandChannel, TextIsCutAtTheReportLengthWithoutTerminator) {
    unit->Caps.OutputReportByteLength = 8;
    Send("1234567");
    Send("123456789");
    ASSERT_EQ(unit->Sent.size(), 2u);
    EXPECT_EQ(unit->Sent[0], std::string("\0"
                                         "1234567",
                                         8));
    EXPECT_EQ(unit->Sent[1], std::string("\0"
                                         "1234567",
                                         8));
    EXPECT_TRUE(Logged(core::kLogSent, "123456789"));
}

TEST_F(CommandChannel, FileInfoAliasAndItsRefusal) {
    Send("fileinfo abc");
    Send("FILEINFO");
    ASSERT_EQ(unit->Sent.size(), 1u);
    EXPECT_EQ(CommandOf(unit->Sent[0]), "FINS abc");
    EXPECT_TRUE(Logged(core::kLogSent, "FINS abc"));
    EXPECT_TRUE(Logged(core::kLogSent, "Error : Filename is not specified."));
}

TEST_F(CommandChannel, SendClearsTheReceivedFlagOnlyWhenADeviceIsThere) {
    Replies().AnswerLocally("OK");
    Send("VER");
    EXPECT_FALSE(Replies().Received());
    rig.conversation.Shutdown(); // lets go of the unit
    Replies().AnswerLocally("OK");
    Send("VER");
    EXPECT_TRUE(Replies().Received());
    EXPECT_EQ(LastLine(), "VER");
}

TEST_F(CommandChannel, FailedWriteIsLoggedWithMessageAndCodeAndMainHandleStaysOpen) {
    unit->FailWrites = true;
    unit->FailCode = 0x1F;
    Send("VER");
    EXPECT_TRUE(
        rig.LogHas("WRITE1_ERROR,A device attached to the system is not functioning. (1F)"));
    EXPECT_EQ(unit->CloseMainCount, 0);
    unit->FailCode = 0x48F;
    Send("VER");
    EXPECT_TRUE(rig.LogHas("WRITE1_ERROR,Error 1167 (48F)"));
}

TEST_F(CommandChannel, AccessDeniedNamesTheUdevRule) {
    unit->FailWrites = true;
    unit->FailCode = EACCES;
    Send("VER");
    EXPECT_EQ(LastLine().find("70-sonavelle.rules"),
              std::string::npos);                   // the code alone says nothing
    unit->FailKind = hid::TErrorKind::AccessDenied; // the platform says what it means
    Send("VER");
    EXPECT_NE(LastLine().find("70-sonavelle.rules"), std::string::npos);
}

TEST_F(CommandChannel, OversizedOutputReportIsRefusedNotReadPastTheBuffer) {
    unit->Caps.OutputReportByteLength = 4096;
    Send("VER");
    EXPECT_TRUE(unit->Sent.empty());
    EXPECT_NE(LastLine().find("exceeds 2049"), std::string::npos);
}

TEST_F(CommandChannel, OverlongCommandIsRefused) {
    Send(std::string(2048, 'a'));
    EXPECT_EQ(unit->Sent.size(), 1u);
    Send(std::string(2049, 'a'));
    EXPECT_EQ(unit->Sent.size(), 1u);
    EXPECT_NE(LastLine().find("too long"), std::string::npos);
}

TEST_F(CommandChannel, EachInputReportReplacesTheReplyAndSetsTheFlag) {
    rig.Deliver(LineReport("OK 201036"));
    EXPECT_TRUE(Replies().Received());
    EXPECT_EQ(Replies().Text(), "OK 201036");
    EXPECT_TRUE(Logged(core::kLogReceived, "4F,4B,20,32,30,31,30,33,36,0D,0A-OK 201036"));
    Replies().Consume();
    rig.Deliver(std::string(1, '\0'));
    EXPECT_TRUE(Replies().Received());
    EXPECT_EQ(Replies().Text(), "");
    EXPECT_EQ(LastLine(), "-");
    Replies().Consume();
    rig.Deliver(std::string(5, '\0'));
    EXPECT_EQ(Replies().Text(), std::string(4, '\0'));
    EXPECT_EQ(LastLine(), "00,00,00,00-____");
}

TEST_F(CommandChannel, ASendDropsRepliesThatCameBeforeIt) {
    rig.Deliver(LineReport("OK stale 1"));
    rig.Deliver(LineReport("OK stale 2"));
    Send("VER");
    EXPECT_FALSE(Replies().Received());
    Replies().TakeNext();
    EXPECT_FALSE(Replies().Received());
}

} // namespace
