// Commands out, replies in, through the checked-out device.
#include <cerrno>

#include "support/WindowFixture.h"

using namespace testing_support;

namespace {

class CommandChannel : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        PlugTransceiver();
        ASSERT_EQ(form->HidDev, unit);
    }
};

TEST_F(CommandChannel, CommandGoesOutAsOneZeroPaddedReportOfTheDevicesLength) {
    for (uint16_t length : {uint16_t(5), uint16_t(8), uint16_t(65), uint16_t(2049)}) {
        unit->Caps.OutputReportByteLength = length;
        unit->Sent.clear();
        form->SendCommand("GSER");
        ASSERT_EQ(unit->Sent.size(), 1u);
        std::string expected = std::string(1, '\0') + "GSER";
        expected.resize(length, '\0');
        EXPECT_EQ(unit->Sent[0], expected.substr(0, length)) << length;
    }
    EXPECT_GE(unit->CloseMainCount, 4);
}

TEST_F(CommandChannel, TextIsCutAtTheReportLengthWithoutTerminator) {
    unit->Caps.OutputReportByteLength = 8;
    form->SendCommand("1234567");
    form->SendCommand("123456789");
    ASSERT_EQ(unit->Sent.size(), 2u);
    EXPECT_EQ(unit->Sent[0], std::string("\0" "1234567", 8));
    EXPECT_EQ(unit->Sent[1], std::string("\0" "1234567", 8));
    EXPECT_TRUE(LogHas(QStringLiteral(">>123456789")));
}

TEST_F(CommandChannel, FileInfoAliasAndItsRefusal) {
    form->SendCommand("fileinfo abc");
    form->SendCommand("FILEINFO");
    ASSERT_EQ(unit->Sent.size(), 1u);
    EXPECT_EQ(CommandOf(unit->Sent[0]), "FINS abc");
    EXPECT_TRUE(LogHas(QStringLiteral(">>FINS abc")));
    EXPECT_TRUE(LogHas(QStringLiteral(">>Error : Filename is not specified.")));
}

TEST_F(CommandChannel, SendClearsTheReceivedFlagOnlyWhenADeviceIsThere) {
    form->Received = true;
    form->SendCommand("VER");
    EXPECT_FALSE(form->Received);
    hid->CheckIn(form->HidDev);
    form->Received = true;
    form->SendCommand("VER");
    EXPECT_TRUE(form->Received);
    EXPECT_TRUE(LogTexts().endsWith(QStringLiteral(">>VER")));
}

TEST_F(CommandChannel, FailedWriteIsLoggedWithMessageAndCodeAndMainHandleStaysOpen) {
    unit->FailWrites = true;
    unit->FailCode = 0x1F;
    form->SendCommand("VER");
    EXPECT_TRUE(LogHas(QStringLiteral("  WRITE1_ERROR,A device attached to the system is not "
                                      "functioning. (1F)")));
    EXPECT_EQ(unit->CloseMainCount, 0);
    unit->FailCode = 0x48F;
    form->SendCommand("VER");
    EXPECT_TRUE(LogHas(QStringLiteral("  WRITE1_ERROR,Error 1167 (48F)")));
}

TEST_F(CommandChannel, AccessDeniedNamesTheUdevRule) {
    unit->FailWrites = true;
    unit->FailCode = EACCES;
    form->SendCommand("VER");
    EXPECT_TRUE(LogTexts().last().contains(QStringLiteral("70-sonavelle.rules")));
}

TEST_F(CommandChannel, OversizedOutputReportIsRefusedNotReadPastTheBuffer) {
    unit->Caps.OutputReportByteLength = 4096;
    form->SendCommand("VER");
    EXPECT_TRUE(unit->Sent.empty());
    EXPECT_TRUE(LogTexts().last().contains(QStringLiteral("exceeds 2049")));
}

TEST_F(CommandChannel, OverlongCommandIsRefused) {
    form->SendCommand(std::string(2048, 'a'));
    EXPECT_EQ(unit->Sent.size(), 1u);
    form->SendCommand(std::string(2049, 'a'));
    EXPECT_EQ(unit->Sent.size(), 1u);
    EXPECT_TRUE(LogTexts().last().contains(QStringLiteral("too long")));
}

TEST_F(CommandChannel, EachInputReportReplacesTheReplyAndSetsTheFlag) {
    hid->Deliver(unit, LineReport("OK 201036"));
    EXPECT_TRUE(form->Received);
    EXPECT_EQ(form->ReplyText, "OK 201036");
    EXPECT_EQ(LogTexts().last(), QStringLiteral("<<4F,4B,20,32,30,31,30,33,36,0D,0A-OK 201036"));
    form->Received = false;
    hid->Deliver(unit, std::string(1, '\0'));
    EXPECT_TRUE(form->Received);
    EXPECT_EQ(form->ReplyText, "");
    EXPECT_EQ(LogTexts().last(), QStringLiteral("<<-"));
    hid->Deliver(unit, std::string(5, '\0'));
    EXPECT_EQ(form->ReplyText, std::string(4, '\0'));
    EXPECT_EQ(LogTexts().last(), QStringLiteral("<<00,00,00,00-____"));
}

} // namespace
