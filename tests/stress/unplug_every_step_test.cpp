// The cable pulled at each step of the step table, then the unit plugged back: the next
// conversation must complete every time, whatever the interrupted one left behind.
#include "StressWindow.h"
#include "support/ConversationPeer.h"
#include "support/WindowWidgets.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

using stress::StressWindowTest;

enum class TRoute {
    Connect, // reached while connecting
    Idle,    // the conversation has rested, ready
    Apply,   // reached by an Apply run started from rest
    Default, // reached by the Default button from rest
    Forced,  // no conversation reaches it: the phase is set by hand
};

struct TStepCase {
    core::TPhase Phase;
    const char* Firmware;
    TRoute Route;
};

// Every step with a handler, and the two without (Idle, Ready), in table order.
using enum core::TPhase;
// clang-format off
const TStepCase kSteps[] = {
    {Idle, "201036", TRoute::Forced},                {Ready, "201036", TRoute::Idle},
    {SendingClock, "201036", TRoute::Connect},       {SettingClock, "201036", TRoute::Connect},
    {ReadingVersion, "201036", TRoute::Connect}, {UploadingInformationFile, "105", TRoute::Connect},
    {ReadingSerial, "201036", TRoute::Connect},      {ReadingDefaults, "201036", TRoute::Connect},
    {ReadingCurrent, "201036", TRoute::Connect},     {RestoringDefaults, "201036", TRoute::Default},
    {WritingAutoSwitching, "201036", TRoute::Apply}, {WritingHandsFree, "201036", TRoute::Apply},
    {WritingSensitivity, "201036", TRoute::Apply},   {WritingLed, "201036", TRoute::Apply},
    {WritingChannel, "201036", TRoute::Apply}, {WritingBaseFrequency, "201036", TRoute::Apply},
    {WritingRecorder, "201036", TRoute::Apply},      {WritingDiveComputer, "201036", TRoute::Apply},
    {WritingVoiceGuide, "201036", TRoute::Apply},    {WritingAirCheck, "201036", TRoute::Apply},
    {SendingSave, "201036", TRoute::Apply},          {Saving, "201036", TRoute::Apply},
    {ReadingModel, "201036", TRoute::Connect},       {ReadingLanguage, "201036", TRoute::Connect},
    {Closing, "105", TRoute::Connect}};
// clang-format on

class UnplugAtEveryStep : public StressWindowTest, public ::testing::WithParamInterface<TStepCase> {
  protected:
    int VerifiedUploads() const {
        return static_cast<int>(LogTexts().filter(QStringLiteral("Verify : OK.")).size());
    }
    int Commands(const std::string& name) const {
        int n = 0;
        for (const auto& c : sim->Received())
            if (c == name) ++n;
        return n;
    }
};

TEST_P(UnplugAtEveryStep, NextConversationCompletes) {
    const TStepCase c = GetParam();
    const bool oldFirmware = std::string(c.Firmware).size() == 3;
    PlugUnit("DW730 TONAL", c.Firmware);

    if (c.Route == TRoute::Idle || c.Route == TRoute::Apply || c.Route == TRoute::Default) {
        ASSERT_TRUE(PumpUntil([&] { return PanelReady(); }, 5000));
        if (c.Route == TRoute::Apply) {
            ChangeASetting();
            SpeedButton2(form)->click();
        } else if (c.Route == TRoute::Default) {
            SpeedButton3(form)->click();
        }
    }
    if (c.Route == TRoute::Forced) {
        testing_support::Peer(form->Conversation()).SetPhase(c.Phase);
    } else {
        ASSERT_TRUE(PumpUntil([&] { return form->Conversation().Phase() == c.Phase; }, 5000))
            << "the conversation never reached " << ::testing::PrintToString(c.Phase)
            << "; it rests at " << ::testing::PrintToString(form->Conversation().Phase());
    }
    const int uploadsBefore = VerifiedUploads();
    const int readBacksBefore = Commands("GPAR");

    UnplugUnit();
    Pump();
    EXPECT_EQ(testing_support::Peer(form->Conversation()).Device(), nullptr);
    EXPECT_FALSE(form->Timer().Enabled());
    EXPECT_FALSE(SpeedButton2(form)->isEnabled());
    EXPECT_FALSE(SpeedButton3(form)->isEnabled());

    ReplugUnit();
    ASSERT_TRUE(PumpUntil([&] { return Resting(); }, 5000))
        << "stuck at " << ::testing::PrintToString(form->Conversation().Phase());
    if (oldFirmware) {
        EXPECT_EQ(form->Conversation().Phase(), core::TPhase::Closing);
        EXPECT_EQ(VerifiedUploads(), uploadsBefore + 1);
    } else {
        EXPECT_TRUE(PanelReady());
        EXPECT_TRUE(SpeedButton3(form)->isEnabled());
        EXPECT_EQ(Edit1(form)->text(), QStringLiteral("201036"));
        EXPECT_EQ(EditKIND(form)->text(), QStringLiteral("DW730 TONAL"));
        EXPECT_EQ(Commands("GPAR"), readBacksBefore + 1);
        // And the panel works: an Apply run goes through to the save.
        ChangeASetting();
        SpeedButton2(form)->click();
        ASSERT_TRUE(
            PumpUntil([&] { return form->Conversation().Phase() == core::TPhase::Ready; }, 2000));
        EXPECT_EQ(sim->Received().back(), "SAVE");
    }
    EXPECT_TRUE(dialogs->errors.empty()) << ::testing::PrintToString(dialogs->errors);
    EXPECT_EQ(ReceivedReportLines(), ExpectedReportLines());
}

INSTANTIATE_TEST_SUITE_P(Steps, UnplugAtEveryStep, ::testing::ValuesIn(kSteps),
                         [](const ::testing::TestParamInfo<TStepCase>& param) {
                             return "Step" + std::to_string(params::StepNumber(param.param.Phase));
                         });

} // namespace
