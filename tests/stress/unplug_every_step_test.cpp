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
    Idle,    // the conversation has rested at step 1
    Apply,   // reached by an Apply run started from step 1
    Default, // reached by the Default button from step 1
    Forced,  // no conversation reaches it: the step number is set by hand
};

struct TStepCase {
    int32_t Step;
    const char* Firmware;
    TRoute Route;
};

// Every step with a handler, and the two without (0, 1), in table order.
const TStepCase kSteps[] = {
    {0, "201036", TRoute::Forced},   {1, "201036", TRoute::Idle},
    {2, "201036", TRoute::Connect},  {3, "201036", TRoute::Connect},
    {4, "201036", TRoute::Connect},  {5, "105", TRoute::Connect},
    {6, "201036", TRoute::Connect},  {7, "201036", TRoute::Connect},
    {8, "201036", TRoute::Connect},  {9, "201036", TRoute::Default},
    {10, "201036", TRoute::Apply},   {11, "201036", TRoute::Apply},
    {12, "201036", TRoute::Apply},   {19, "201036", TRoute::Apply},
    {13, "201036", TRoute::Apply},   {14, "201036", TRoute::Apply},
    {15, "201036", TRoute::Apply},   {16, "201036", TRoute::Apply},
    {21, "201036", TRoute::Apply},   {22, "201036", TRoute::Apply},
    {23, "201036", TRoute::Apply},   {17, "201036", TRoute::Apply},
    {18, "201036", TRoute::Connect}, {24, "201036", TRoute::Connect},
    {99, "105", TRoute::Connect},
};

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
        testing_support::Peer(form->Conversation()).SetStep(c.Step);
    } else {
        ASSERT_TRUE(PumpUntil(
            [&] { return params::StepNumber(form->Conversation().Phase()) == c.Step; }, 5000))
            << "the conversation never reached step " << c.Step << "; it rests at "
            << params::StepNumber(form->Conversation().Phase());
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
        << "stuck at step " << params::StepNumber(form->Conversation().Phase());
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
                             return "Step" + std::to_string(param.param.Step);
                         });

} // namespace
