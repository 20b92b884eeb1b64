// Commands out, replies in, through the checked-out device.
#include "support/WindowFixture.h"

#include <cerrno>

using namespace testing_support;

namespace {

class CommandChannel : public WindowTest {
  protected:
    core::TReplyQueue& Replies() { return form->Conversation().RepliesForTest(); }
    void SetUp() override {
        WindowTest::SetUp();
        PlugTransceiver();
        ASSERT_EQ(form->Conversation().Device(), unit);
    }
};

TEST_F(CommandChannel, CommandGoesOutAsOneZeroPaddedReportOfTheDevicesLength) {
    for (uint16_t length : {uint16_t(5), uint16_t(8), uint16_t(65), uint16_t(2049)}) {
        unit->Caps.OutputReportByteLength = length;
        unit->Sent.clear();
        form->Conversation().SendCommand("GSER");
        ASSERT_EQ(unit->Sent.size(), 1u);
        std::string expected = std::string(1, '\0') + "GSER";
        expected.resize(length, '\0');
        EXPECT_EQ(unit->Sent[0], expected.substr(0, length)) << length;
    }
    EXPECT_GE(unit->CloseMainCount, 4);
}

TEST_F(CommandChannel, TextIsCutAtTheReportLengthWithoutTerminator) {
    unit->Caps.OutputReportByteLength = 8;
    form->Conversation().SendCommand("1234567");
    form->Conversation().SendCommand("123456789");
    ASSERT_EQ(unit->Sent.size(), 2u);
    EXPECT_EQ(unit->Sent[0], std::string("\0" "1234567", 8));
    EXPECT_EQ(unit->Sent[1], std::string("\0" "1234567", 8));
    EXPECT_TRUE(LogHas(QStringLiteral(">>123456789")));
}

TEST_F(CommandChannel, FileInfoAliasAndItsRefusal) {
    form->Conversation().SendCommand("fileinfo abc");
    form->Conversation().SendCommand("FILEINFO");
    ASSERT_EQ(unit->Sent.size(), 1u);
    EXPECT_EQ(CommandOf(unit->Sent[0]), "FINS abc");
    EXPECT_TRUE(LogHas(QStringLiteral(">>FINS abc")));
    EXPECT_TRUE(LogHas(QStringLiteral(">>Error : Filename is not specified.")));
}

TEST_F(CommandChannel, SendClearsTheReceivedFlagOnlyWhenADeviceIsThere) {
    Replies().AnswerLocally("OK");
    form->Conversation().SendCommand("VER");
    EXPECT_FALSE(Replies().Received());
    form->Conversation().Shutdown(); // lets go of the unit
    Replies().AnswerLocally("OK");
    form->Conversation().SendCommand("VER");
    EXPECT_TRUE(Replies().Received());
    EXPECT_TRUE(LogTexts().endsWith(QStringLiteral(">>VER")));
}

TEST_F(CommandChannel, FailedWriteIsLoggedWithMessageAndCodeAndMainHandleStaysOpen) {
    unit->FailWrites = true;
    unit->FailCode = 0x1F;
    form->Conversation().SendCommand("VER");
    EXPECT_TRUE(LogHas(QStringLiteral("  WRITE1_ERROR,A device attached to the system is not "
                                      "functioning. (1F)")));
    EXPECT_EQ(unit->CloseMainCount, 0);
    unit->FailCode = 0x48F;
    form->Conversation().SendCommand("VER");
    EXPECT_TRUE(LogHas(QStringLiteral("  WRITE1_ERROR,Error 1167 (48F)")));
}

TEST_F(CommandChannel, AccessDeniedNamesTheUdevRule) {
    unit->FailWrites = true;
    unit->FailCode = EACCES;
    unit->FailKind = hid::TErrorKind::AccessDenied;
    form->Conversation().SendCommand("VER");
    EXPECT_TRUE(LogTexts().last().contains(QStringLiteral("70-sonavelle.rules")));
}

TEST_F(CommandChannel, OversizedOutputReportIsRefusedNotReadPastTheBuffer) {
    unit->Caps.OutputReportByteLength = 4096;
    form->Conversation().SendCommand("VER");
    EXPECT_TRUE(unit->Sent.empty());
    EXPECT_TRUE(LogTexts().last().contains(QStringLiteral("exceeds 2049")));
}

TEST_F(CommandChannel, OverlongCommandIsRefused) {
    form->Conversation().SendCommand(std::string(2048, 'a'));
    EXPECT_EQ(unit->Sent.size(), 1u);
    form->Conversation().SendCommand(std::string(2049, 'a'));
    EXPECT_EQ(unit->Sent.size(), 1u);
    EXPECT_TRUE(LogTexts().last().contains(QStringLiteral("too long")));
}

TEST_F(CommandChannel, EachInputReportReplacesTheReplyAndSetsTheFlag) {
    hid->Deliver(unit, LineReport("OK 201036"));
    EXPECT_TRUE(Replies().Received());
    EXPECT_EQ(Replies().Text(), "OK 201036");
    EXPECT_EQ(LogTexts().last(), QStringLiteral("<<4F,4B,20,32,30,31,30,33,36,0D,0A-OK 201036"));
    Replies().Consume();
    hid->Deliver(unit, std::string(1, '\0'));
    EXPECT_TRUE(Replies().Received());
    EXPECT_EQ(Replies().Text(), "");
    EXPECT_EQ(LogTexts().last(), QStringLiteral("<<-"));
    Replies().Consume();
    hid->Deliver(unit, std::string(5, '\0'));
    EXPECT_EQ(Replies().Text(), std::string(4, '\0'));
    EXPECT_EQ(LogTexts().last(), QStringLiteral("<<00,00,00,00-____"));
}

} // namespace

namespace {

TEST_F(CommandChannel, RepliesFasterThanTheTickWaitTheirTurn) {
    hid->Deliver(unit, LineReport("OK RxLevel 1"));
    hid->Deliver(unit, LineReport("OK RxLevel 2"));
    hid->Deliver(unit, LineReport("OK RxLevel 3"));
    EXPECT_EQ(Replies().Text(), "OK RxLevel 1");
    EXPECT_EQ(LogTexts().filter(QStringLiteral("<<")).size(), 3); // each logged as it came
    std::vector<std::string> taken;
    for (int i = 0; i < 3; ++i) {
        Replies().TakeNext();
        ASSERT_TRUE(Replies().Received());
        taken.push_back(Replies().Text());
        Replies().Consume(); // what a waiting step does with it
    }
    EXPECT_EQ(taken, (std::vector<std::string>{"OK RxLevel 1", "OK RxLevel 2", "OK RxLevel 3"}));
    Replies().TakeNext();
    EXPECT_FALSE(Replies().Received());
}

TEST_F(CommandChannel, AReplyAStepHasSeenAndLeftStandingIsReplaced) {
    form->Conversation().SetStepForTest(
        9); // waits for "Successfully erased", leaving other replies standing
    hid->Deliver(unit, LineReport("OK 1234"));
    Tick();
    EXPECT_TRUE(Replies().Received());
    hid->Deliver(unit, LineReport("OK Successfully erased"));
    EXPECT_EQ(Replies().Text(), "OK Successfully erased");
    EXPECT_TRUE((Replies().Waiting() == 0));
}

TEST_F(CommandChannel, ASendDropsRepliesThatCameBeforeIt) {
    hid->Deliver(unit, LineReport("OK stale 1"));
    hid->Deliver(unit, LineReport("OK stale 2"));
    form->Conversation().SendCommand("VER");
    EXPECT_FALSE(Replies().Received());
    Replies().TakeNext();
    EXPECT_FALSE(Replies().Received());
}

TEST_F(CommandChannel, PendingRepliesAreBounded) {
    for (size_t i = 0; i < core::TReplyQueue::kMaxPending + 5; ++i)
        hid->Deliver(unit, LineReport("OK x"));
    EXPECT_EQ(Replies().Waiting(), core::TReplyQueue::kMaxPending);
    EXPECT_TRUE(LogTexts().last().contains(QStringLiteral("Too many replies waiting")));
}

} // namespace

namespace {

TEST_F(CommandChannel, AStepsOwnReplyGoesBeforeRepliesWaitingFromTheUnit) {
    form->Conversation().SetStepForTest(9); // Default waits for "Successfully erased"
    hid->Deliver(unit, LineReport("OK Successfully erased"));
    hid->Deliver(unit, LineReport("OK stray"));
    ASSERT_EQ(Replies().Waiting(), 1u);
    Tick();
    EXPECT_EQ(form->Conversation().StepNo(), 17);
    EXPECT_EQ(Replies().Text(), "Parameter saved");
    EXPECT_TRUE((Replies().Waiting() == 0));
    Tick();
    EXPECT_EQ(form->Conversation().StepNo(), 1);
}

} // namespace
