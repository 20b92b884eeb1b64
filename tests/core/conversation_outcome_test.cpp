// How an Apply or Default run went, as a front end without a window learns it: the write the
// unit refused and its answer, the commands it acknowledged in the order sent, and letting
// go of a unit that was attached before the start.
#include "support/CoreRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testing_support;
using core::TControl;

namespace {

constexpr const char* kModel = "DW730 TONAL";
constexpr const char* kFirmware = "201036";

class RunOutcome : public ::testing::Test {
  protected:
    void Connect(const sim::Profile& profile) {
        rig.PlugUnit(profile);
        ASSERT_TRUE(rig.RunToRest());
        ASSERT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
        rig.Mark();
    }
    void Connect(sim::Faults faults = {}) {
        sim::Profile profile = sim::MakeProfile(kModel, kFirmware);
        profile.faults = std::move(faults);
        Connect(profile);
    }
    // One changed setting: Apply writes every setting of the unit all the same.
    void PressApplyWithAChange() {
        rig.Choose(TControl::RadioGroup1, (rig[TControl::RadioGroup1].itemIndex + 1) % 5);
        rig.conversation.PressApply();
    }
    static sim::Faults Ng(const char* command) {
        sim::Faults faults;
        faults.ng.insert(command);
        return faults;
    }
    static std::vector<std::string> AllBut(std::vector<std::string> sent, std::size_t last) {
        sent.resize(sent.size() - last);
        return sent;
    }
    TCoreRig rig;
    const core::TConversation& c = rig.conversation;
};

// ---- acknowledged commands -------------------------------------------------------------------

struct TUnit {
    const char* model;
    const char* firmware;
};

class Acknowledged : public ::testing::TestWithParam<TUnit> {};

// Every command the unit took, once each and in order, "SAVE" last; the steps that answer
// themselves (no voice guide, no air check, no dive-computer write on these units) add
// nothing, neither an empty entry nor the previous command again.
TEST_P(Acknowledged, AreTheCommandsTheUnitTookInOrder) {
    TCoreRig rig;
    rig.PlugUnit(GetParam().model, GetParam().firmware);
    ASSERT_TRUE(rig.RunToRest());
    rig.Mark();
    rig.Choose(TControl::RadioGroup1, 0);
    rig.conversation.PressApply();
    ASSERT_TRUE(rig.RunToRest());

    const std::vector<std::string> sent = rig.SentSinceMark();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), "SAVE");
    EXPECT_EQ(rig.conversation.LastRun().acknowledged, sent);
    EXPECT_FALSE(rig.conversation.LastRun().refusal);
    EXPECT_EQ(rig.conversation.LastCommand(), "SAVE");
}

INSTANTIATE_TEST_SUITE_P(Units, Acknowledged,
                         ::testing::Values(TUnit{"DW730 TONAL", "201036"}, // writes everything
                                           TUnit{"PX510", "201036"},       // no voice, no air
                                           TUnit{"DW720 QZ", "201026"},    // three answer alone
                                           TUnit{"DW720 KEL", "201016"}),  // basic firmware
                         [](const auto& param) {
                             std::string name =
                                 std::string(param.param.model) + "_" + param.param.firmware;
                             for (char& ch : name)
                                 if (ch == ' ') ch = '_';
                             return name;
                         });

// ---- refusals --------------------------------------------------------------------------------

TEST_F(RunOutcome, AnNgWriteIsTheRefusalAndTheRunWaitsThere) {
    Connect(Ng("SPAR RecordSw"));
    PressApplyWithAChange();
    ASSERT_TRUE(rig.RunUntil([&] { return c.LastRun().refusal.has_value(); }, 2000));
    const std::vector<std::string> sent = rig.SentSinceMark();
    ASSERT_TRUE(sent.back().starts_with("SPAR RecordSw "));
    EXPECT_EQ(c.LastRun().refusal->command, sent.back());
    EXPECT_TRUE(c.LastRun().refusal->reply.starts_with("NG")) << c.LastRun().refusal->reply;
    EXPECT_EQ(c.LastRun().acknowledged, AllBut(sent, 1));
    EXPECT_EQ(c.LastCommand(), sent.back());

    // The window shows nothing of it and waits for good: nothing more is sent.
    const core::TPhase phase = c.Phase();
    rig.Steps(2000);
    EXPECT_EQ(c.Phase(), phase);
    EXPECT_EQ(rig.SentSinceMark(), sent);
    EXPECT_EQ(c.LastRun().refusal->command, sent.back());
}

TEST_F(RunOutcome, ASaveNotConfirmedIsTheRefusalAndTheRunEnds) {
    Connect(Ng("SAVE"));
    PressApplyWithAChange();
    ASSERT_TRUE(rig.RunToRest());
    const std::vector<std::string> sent = rig.SentSinceMark();
    ASSERT_EQ(sent.back(), "SAVE");
    ASSERT_TRUE(c.LastRun().refusal);
    EXPECT_EQ(c.LastRun().refusal->command, "SAVE");
    EXPECT_TRUE(c.LastRun().refusal->reply.starts_with("NG")) << c.LastRun().refusal->reply;
    EXPECT_EQ(c.LastRun().acknowledged, AllBut(sent, 1));
    EXPECT_EQ(c.Phase(), core::TPhase::Ready);
}

TEST_F(RunOutcome, AClearNotConfirmedIsTheRefusalAndNothingIsAcknowledged) {
    Connect(Ng("CLEAR"));
    rig.conversation.PressDefault();
    ASSERT_TRUE(rig.RunUntil([&] { return c.LastRun().refusal.has_value(); }, 2000));
    EXPECT_EQ(c.LastRun().refusal->command, "CLEAR");
    EXPECT_TRUE(c.LastRun().refusal->reply.starts_with("NG")) << c.LastRun().refusal->reply;
    EXPECT_TRUE(c.LastRun().acknowledged.empty());
    EXPECT_EQ(rig.SentSinceMark(), std::vector<std::string>{"CLEAR"});
    EXPECT_EQ(c.Phase(), core::TPhase::RestoringDefaults);
}

TEST_F(RunOutcome, AConfirmedClearIsTheOnlyAcknowledgedCommandOfDefault) {
    // The "Parameter saved" that Default answers itself after the erase adds nothing.
    Connect();
    rig.conversation.PressDefault();
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(c.Phase(), core::TPhase::Ready);
    EXPECT_FALSE(c.LastRun().refusal);
    EXPECT_EQ(c.LastRun().acknowledged, std::vector<std::string>{"CLEAR"});
}

TEST_F(RunOutcome, EachRunStartsWithoutTheLastOnesOutcome) {
    Connect(Ng("CLEAR"));
    rig.conversation.PressDefault();
    ASSERT_TRUE(rig.RunUntil([&] { return c.LastRun().refusal.has_value(); }, 2000));

    // The user presses Apply on the waiting run; this time everything is taken.
    rig.sim->MutableFaults().ng.clear();
    rig.Mark();
    PressApplyWithAChange();
    EXPECT_FALSE(c.LastRun().refusal);
    EXPECT_TRUE(c.LastRun().acknowledged.empty());
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_FALSE(c.LastRun().refusal);
    EXPECT_EQ(c.LastRun().acknowledged, rig.SentSinceMark());

    // And a refusal after a clean run names only its own command.
    rig.sim->MutableFaults().ng.insert("SPAR TxSquelchSw");
    rig.Mark();
    PressApplyWithAChange();
    ASSERT_TRUE(rig.RunUntil([&] { return c.LastRun().refusal.has_value(); }, 2000));
    EXPECT_TRUE(c.LastRun().refusal->command.starts_with("SPAR TxSquelchSw "));
    EXPECT_EQ(c.LastRun().acknowledged, AllBut(rig.SentSinceMark(), 1));
}

// ---- letting go of a unit attached before the start ------------------------------------------

TEST(LetGo, ReleasesTheUnitAndTakesItOncePluggedInAgain) {
    TCoreRig rig(false);
    TFakeHidDevice* early = rig.hid.Plug(core::TransceiverVendorID, 0x7802, false);
    rig.Start();
    ASSERT_EQ(rig.dialogs.messages,
              std::vector<std::string>{"Sonavelle customize tool|Remove Sonavelle."});
    ASSERT_TRUE(rig.conversation.Connected());
    const std::size_t sentBefore = early->Sent.size();

    rig.conversation.LetGo();
    EXPECT_FALSE(rig.conversation.Connected());
    EXPECT_FALSE(early->CheckedOut);
    EXPECT_FALSE(rig.conversation.Running());
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Idle);
    EXPECT_FALSE(rig[TControl::Timer1].enabled);
    rig.Steps(100);
    EXPECT_EQ(early->Sent.size(), sentBefore) << "nothing goes to a unit let go of";

    // Unplugged and plugged in again: taken without a word, and identified.
    rig.hid.Unplug(early);
    EXPECT_FALSE(rig.conversation.FirstCheck());
    rig.PlugUnit(kModel, kFirmware);
    EXPECT_TRUE(rig.conversation.Connected());
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
    EXPECT_EQ(rig.dialogs.messages.size(), 1u);
    EXPECT_TRUE(rig.dialogs.errors.empty());
}

TEST(LetGo, WithoutAUnitLeavesTheConversationIdle) {
    TCoreRig rig;
    rig.conversation.LetGo();
    EXPECT_FALSE(rig.conversation.Connected());
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Idle);
    EXPECT_TRUE(rig.dialogs.errors.empty());
    rig.PlugUnit(kModel, kFirmware);
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
}

} // namespace
