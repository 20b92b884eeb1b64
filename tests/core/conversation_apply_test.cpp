// Apply and Default for every supported firmware family and model, against the simulated
// unit: the commands the model and firmware get, what the unit keeps, what the panel shows
// afterwards, and which changes count.
#include "ConversationCases.h"
#include "support/CoreRig.h"

#include <algorithm>
#include <map>

using namespace testing_support;
using namespace conversation_cases;
using enum core::TPhase;

namespace {

class SettingsTest : public ::testing::TestWithParam<TCase> {
  protected:
    void Connect() {
        rig.PlugUnit(c.model(), c.version);
        ASSERT_TRUE(rig.RunToRest());
        ASSERT_EQ(rig.conversation.Phase(), Ready);
        rig.Mark();
    }
    // What the user does to change the setting; the air check is switched on first.
    void Change(TSetting s, int choice) {
        if (s == TSetting::AirCheck) {
            rig.Check(TControl::CheckBoxDivingTimeSignalEnable, true);
            rig.Choose(TControl::ComboBoxDivingTimeSignal1, choice);
        } else {
            rig.Choose(ChoiceOf(s), choice);
        }
    }
    int Chosen(TSetting s) const {
        return rig[s == TSetting::AirCheck ? TControl::ComboBoxDivingTimeSignal1 : ChoiceOf(s)]
            .itemIndex;
    }
    std::string Stored(const std::string& key) const {
        return rig.sim->Stored()->Get(key).value_or("-");
    }
    int ChangeCount() const { return rig[TControl::SpeedButton2].tag; }
    // Every current-setting box agrees with its choice: a further Apply finds nothing to write.
    void ExpectNothingLeftToApply() {
        for (TSetting s : kSettings) {
            if (s == TSetting::AirCheck) continue;
            EXPECT_EQ(rig[BoxOf(s)].tag, rig[ChoiceOf(s)].itemIndex) << SettingName(s);
        }
        rig.Mark();
        rig.conversation.PressApply();
        EXPECT_EQ(ChangeCount(), 0);
        EXPECT_TRUE(rig.SentSinceMark().empty());
    }
    // Reconnect with the unit still attached: identified again, read back the short way.
    void ReconnectSameUnit() {
        rig.conversation.PressReconnect();
        ASSERT_TRUE(rig.RunToRest());
    }
    void ExpectRunEnded() const {
        EXPECT_EQ(rig.conversation.Phase(), Ready);
        EXPECT_EQ(rig[TControl::Label4].text, "");
        EXPECT_EQ(rig[TControl::ProgressBar1].position, 100);
        EXPECT_TRUE(rig[TControl::SpeedButton2].enabled);
        EXPECT_TRUE(rig[TControl::SpeedButton3].enabled);
        EXPECT_TRUE(rig.dialogs.errors.empty());
    }

    const TCase& c = GetParam();
    TCoreRig rig;
};

using Apply = SettingsTest;

TEST_P(Apply, WritesEverySettingTheUnitHasAndTheUnitKeepsThem) {
    Connect();
    std::vector<TSetting> changed{TSetting::Volume}; // written by every unit
    for (TSetting s : kSettings)
        if (s != TSetting::Volume && c.Offers(s)) changed.push_back(s);
    for (TSetting s : changed)
        Change(s, c.NewChoice(s));

    rig.conversation.PressApply();
    EXPECT_EQ(ChangeCount(), static_cast<int>(changed.size()));
    EXPECT_EQ(rig[TControl::Label4].text, "Updating.");

    // The step before each tick: the path of the run and how long each step lasted.
    std::vector<core::TPhase> before;
    int lastBar = rig[TControl::ProgressBar1].position;
    for (int i = 0; i < 1000 && rig.conversation.Phase() != Ready; ++i) {
        before.push_back(rig.conversation.Phase());
        rig.Step();
        EXPECT_GE(rig[TControl::ProgressBar1].position, lastBar)
            << ::testing::PrintToString(before.back());
        lastBar = rig[TControl::ProgressBar1].position;
    }
    ExpectRunEnded();
    EXPECT_EQ(KeysOf(rig.SentSinceMark()), c.ApplyKeys());
    EXPECT_EQ(rig.sim->Stored(), rig.sim->Working());

    std::vector<core::TPhase> path;
    std::unique_copy(before.begin(), before.end(), std::back_inserter(path));
    std::vector<core::TPhase> expectedPath{
        WritingAutoSwitching, WritingHandsFree,     WritingSensitivity, WritingLed,
        WritingChannel,       WritingBaseFrequency, WritingRecorder,    WritingDiveComputer,
        WritingVoiceGuide,    WritingAirCheck,      SendingSave,        Saving};
    if (!c.sensitivity()) std::erase(expectedPath, WritingSensitivity);
    EXPECT_EQ(path, expectedPath);
    // A step that writes nothing answers itself: the next step runs on the very next tick.
    const auto ticksAt = [&](auto at) { return std::count(before.begin(), before.end(), at); };
    EXPECT_EQ(ticksAt(WritingVoiceGuide) == 1, !c.Writes(TSetting::DiveCom));
    EXPECT_EQ(ticksAt(WritingAirCheck) == 1, !c.Writes(TSetting::VoiceGuide));
    EXPECT_EQ(ticksAt(SendingSave) == 1, !c.Writes(TSetting::AirCheck));

    ExpectNothingLeftToApply();

    // What was written reads back as what was chosen (the same unit, read the short way).
    ReconnectSameUnit();
    const auto again = rig.SentSinceMark();
    EXPECT_NE(std::find(again.begin(), again.end(), "GPAR"), again.end());
    EXPECT_EQ(std::find(again.begin(), again.end(), "GETTMPPARAM"), again.end());
    for (TSetting s : changed)
        EXPECT_EQ(Chosen(s), c.NewChoice(s)) << SettingName(s);
}

// A setting counts as changed only where Apply writes it: the voice guide of units without
// it ("DW720 QZ", "PX510", "PX510 MIV"), the air check of "PX510" units, the dive-computer
// choice below "201029" (except the receive-only switch). One that counted but was not
// written would start a run that changes nothing; one written but not counted would be lost.
TEST_P(Apply, OneSettingCountsExactlyWhereApplyWritesIt) {
    Connect();
    for (TSetting s : kSettings) {
        SCOPED_TRACE(SettingName(s));
        const std::string key = c.StoredKey(s);
        const std::string was = Stored(key);
        const sim::ParamSet before = *rig.sim->Stored();
        rig.Mark();
        Change(s, c.NewChoice(s));
        rig.conversation.PressApply();
        if (c.Writes(s)) {
            EXPECT_EQ(ChangeCount(), 1);
            ASSERT_TRUE(rig.RunToRest());
            ExpectRunEnded();
            EXPECT_EQ(rig.SentSinceMark().back(), "SAVE");
            EXPECT_NE(Stored(key), was) << key;
            // Everything else is written back as the unit had it.
            const auto touched = c.Touches(s);
            for (const auto& [k, v] : rig.sim->Stored()->Entries()) {
                if (std::find(touched.begin(), touched.end(), k) == touched.end()) {
                    EXPECT_EQ(v, before.Get(k)) << k;
                }
            }
        } else {
            EXPECT_EQ(ChangeCount(), 0);
            EXPECT_TRUE(rig.SentSinceMark().empty());
            EXPECT_EQ(rig.conversation.Phase(), Ready);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Units, Apply, ::testing::ValuesIn(SupportedCases()), CaseName);

using Default = SettingsTest;

TEST_P(Default, ShowsTheDefaultSetAndLeavesNothingToApply) {
    Connect();
    rig.conversation.PressDefault();
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::RestoringDefaults);
    EXPECT_EQ(rig[TControl::Label4].text, "Clear.");
    ASSERT_TRUE(rig.RunToRest());
    ExpectRunEnded();
    EXPECT_EQ(rig.SentSinceMark(), std::vector<std::string>{"CLEAR"});
    EXPECT_EQ(rig.sim->Stored(), rig.sim->Defaults());

    std::map<TSetting, int> shown;
    for (TSetting s : kSettings)
        shown[s] = Chosen(s);
    ExpectNothingLeftToApply();

    // The default set read at connection shows what the erased unit now reports.
    ReconnectSameUnit();
    for (TSetting s : kSettings) {
        if (c.ReadsBack(s)) {
            EXPECT_EQ(Chosen(s), shown[s]) << SettingName(s);
        }
    }

    // An Apply right after writes the rest back as the defaults have it.
    Change(TSetting::Volume, c.NewChoice(TSetting::Volume));
    rig.conversation.PressApply();
    ASSERT_TRUE(rig.RunToRest());
    const auto touched = c.Touches(TSetting::Volume);
    for (const auto& [k, v] : rig.sim->Stored()->Entries()) {
        if (std::find(touched.begin(), touched.end(), k) == touched.end()) {
            EXPECT_EQ(v, rig.sim->Defaults()->Get(k)) << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Units, Default, ::testing::ValuesIn(SupportedCases()), CaseName);

// ---- the bar and the values of single writes, on one unit each ----------------------------

TCoreRig& Connected(TCoreRig& rig, const char* model, const char* firmware) {
    rig.PlugUnit(model, firmware);
    EXPECT_TRUE(rig.RunToRest());
    EXPECT_EQ(rig.conversation.Phase(), Ready);
    rig.Mark();
    return rig;
}

struct TBarRun {
    const char* model;
    const char* firmware;
    std::vector<std::pair<core::TPhase, int>> trace; // each step of the run, the bar on entering
};

class ApplyBar : public ::testing::TestWithParam<TBarRun> {};

// The bar moves by the share of the expected count; a run with more counting steps than the
// count stops it full instead of leaving it behind.
TEST_P(ApplyBar, MovesByTheShareOfTheExpectedCount) {
    TCoreRig rig;
    core::TConversation& c = Connected(rig, GetParam().model, GetParam().firmware).conversation;
    rig.Choose(TControl::RadioGroup1, 0);
    c.PressApply();
    decltype(TBarRun::trace) trace{{c.Phase(), rig[TControl::ProgressBar1].position}};
    for (int i = 0; i < 500 && c.Phase() != Ready; ++i) {
        rig.Step();
        if (c.Phase() != trace.back().first)
            trace.emplace_back(c.Phase(), rig[TControl::ProgressBar1].position);
    }
    EXPECT_EQ(trace, GetParam().trace);
}

// clang-format off
const std::vector<std::pair<core::TPhase, int>> kEveryStep{
    {WritingAutoSwitching, 23}, {WritingHandsFree, 30}, {WritingSensitivity, 38}, {WritingLed, 38},
    {WritingChannel, 46}, {WritingBaseFrequency, 53}, {WritingRecorder, 61},
    {WritingDiveComputer, 69}, {WritingVoiceGuide, 76}, {WritingAirCheck, 84}, {SendingSave, 92},
    {Saving, 100}, {Ready, 100}};
// Seven expected parameters, nine counting steps.
const std::vector<std::pair<core::TPhase, int>> kMoreStepsThanCounted{
    {WritingAutoSwitching, 42}, {WritingHandsFree, 57}, {WritingLed, 71}, {WritingChannel, 85},
    {WritingBaseFrequency, 100}, {WritingRecorder, 100}, {WritingDiveComputer, 100},
    {WritingVoiceGuide, 100}, {WritingAirCheck, 100}, {SendingSave, 100}, {Saving, 100},
    {Ready, 100}};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Runs, ApplyBar,
                         ::testing::Values(TBarRun{"DW730 TONAL", "201036", kEveryStep},
                                           TBarRun{"DW740 NEW", "201019", kMoreStepsThanCounted}),
                         [](const auto& p) { return std::string(p.param.firmware); });

TEST(ApplyValues, HandsFreeOffWritesTheDefaultSetsThresholdBack) {
    TCoreRig rig;
    Connected(rig, "DW740 NEW", "201029").Choose(TControl::RadioGroup4, 0);
    rig.conversation.PressApply();
    ASSERT_TRUE(rig.RunToRest());
    const auto sent = rig.SentSinceMark();
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(sent.at(2), "SPAR VOXsw 0");
    EXPECT_EQ(sent.at(3), "SPAR CsgVoxNzccTh 0.6");
    EXPECT_EQ(rig[TControl::Edit8].text, "Off");
}

TEST(ApplyValues, AHalfChosenAirCheckIsSwitchedOffFirst) {
    TCoreRig rig;
    core::TConversation& c = Connected(rig, "DW720 KEL", "201036").conversation;
    ASSERT_TRUE(rig[TControl::CheckBoxDivingTimeSignalEnable].checked);
    rig.Choose(TControl::ComboBoxDivingTimeSignal1, 0);
    rig.Choose(TControl::ComboBoxDivingTimeSignal2, 2);
    c.PressApply();
    EXPECT_FALSE(rig[TControl::CheckBoxDivingTimeSignalEnable].checked);
    EXPECT_EQ(rig[TControl::ComboBoxDivingTimeSignal1].itemIndex, -1);
    EXPECT_EQ(rig[TControl::SpeedButton2].tag, 1);
    ASSERT_TRUE(rig.RunToRest());
    const auto sent = rig.SentSinceMark();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "SPAR DivingTimeSignalSw 0"), sent.end());
    EXPECT_EQ(rig.sim->Stored()->Get("DivingTimeSignalSw"), "0");
    EXPECT_EQ(rig[TControl::EditDivingTimeSignal].text, "Off");
    EXPECT_EQ(rig[TControl::EditDivingTimeSignal].tag, 0);
}

} // namespace
