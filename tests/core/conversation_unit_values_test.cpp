// A unit value the tables cannot show (or would round to their nearest item) survives an
// Apply that changes something else: it is written back as the unit holds it and does not
// count. Once the user chooses another item, it is written as the tables have it; choosing
// the item shown is no change, and the unit's value goes back.
#include "support/CoreRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

using namespace testing_support;
using core::TControl;

namespace {

struct TOddValue {
    const char* key;
    const char* value;   // held by the unit, outside its table or between two items
    TControl own;        // the choice that shows it
    int choose;          // another item of it (the air check: unchecked)
    const char* written; // what that item writes
};

void PrintTo(const TOddValue& odd, std::ostream* os) {
    *os << odd.key << " = " << odd.value;
}

class UnitValues : public ::testing::TestWithParam<TOddValue> {
  protected:
    void SetUp() override {
        sim::Profile profile = sim::MakeProfile("DW730 TONAL", "201036");
        ASSERT_TRUE(profile.stored->Set(GetParam().key, GetParam().value));
        rig.PlugUnit(profile);
        ASSERT_TRUE(rig.RunToRest());
        ASSERT_EQ(c.Phase(), core::TPhase::Ready);
        rig.Mark();
    }
    std::string Command(const char* value) const {
        const std::string key = GetParam().key;
        return "SPAR " + (key == "VOXSw" ? std::string("VOXsw") : key) + " " + value;
    }
    bool Sent(const std::string& command) const {
        const auto sent = rig.SentSinceMark();
        return std::find(sent.begin(), sent.end(), command) != sent.end();
    }
    // What the unit stores for the key; none: no stored set at all.
    std::optional<std::string> Stored(const char* key) {
        const std::optional<sim::ParamSet> stored = rig.sim->Stored();
        return stored ? stored->Get(key) : std::nullopt;
    }
    TCoreRig rig;
    core::TConversation& c = rig.conversation;
};

TEST_P(UnitValues, AreWrittenBackUnlessTheUserChoosesThem) {
    const TOddValue& odd = GetParam();
    // Nothing chosen: nothing differs, nothing is written.
    c.PressApply();
    EXPECT_EQ(rig[TControl::SpeedButton2].tag, 0);
    EXPECT_TRUE(rig.SentSinceMark().empty());

    // Another setting changed: the odd one goes back as the unit has it.
    const TControl other =
        odd.own == TControl::RadioGroup1 ? TControl::RadioGroup3 : TControl::RadioGroup1;
    c.Choose(other, rig[other].itemIndex == 0 ? 1 : 0);
    c.PressApply();
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_TRUE(Sent(Command(odd.value))) << ::testing::PrintToString(rig.SentSinceMark());
    EXPECT_EQ(c.Changed(),
              std::vector<params::TSetting>{params::SettingOfChoice(other, c.Identity())});
    EXPECT_EQ(Stored(odd.key), std::optional<std::string>(odd.value));
    const core::TControlState box = rig.Panel()[TControl::EditDivingTimeSignal];

    // A second Apply after the save still finds nothing to write.
    rig.Mark();
    c.PressApply();
    EXPECT_EQ(rig[TControl::SpeedButton2].tag, 0);

    if (odd.own == TControl::CheckBoxDivingTimeSignalEnable) {
        EXPECT_EQ(box.text, "unknown"); // the box went on showing what the unit holds
        c.Check(odd.own, false);
    } else {
        c.Choose(odd.own, rig[odd.own].itemIndex); // the item shown is no change
        c.PressApply();
        EXPECT_EQ(rig[TControl::SpeedButton2].tag, 0);
        // and goes back as the unit has it when something else is written
        c.Choose(other, rig[other].itemIndex == 0 ? 1 : 0);
        rig.Mark();
        c.PressApply();
        ASSERT_TRUE(rig.RunToRest());
        EXPECT_TRUE(Sent(Command(odd.value))) << ::testing::PrintToString(rig.SentSinceMark());
        EXPECT_EQ(Stored(odd.key), std::optional<std::string>(odd.value));
        c.Choose(odd.own, odd.choose);
    }
    c.PressApply();
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_TRUE(Sent(Command(odd.written))) << ::testing::PrintToString(rig.SentSinceMark());
    EXPECT_EQ(c.Changed(),
              std::vector<params::TSetting>{params::SettingOfChoice(odd.own, c.Identity())});
    EXPECT_EQ(Stored(odd.key), std::optional<std::string>(odd.written));
}

INSTANTIATE_TEST_SUITE_P(
    OutsideTheTables, UnitValues,
    ::testing::Values(
        TOddValue{"DivingTimeSignalSw", "1234", TControl::CheckBoxDivingTimeSignalEnable, -1, "0"},
        TOddValue{"PhoneOutVol", "-7", TControl::RadioGroup1, 0, "-12"},
        TOddValue{"DiveConWarningSw", "1", TControl::RgDiveComInterface, 2, "3"},
        TOddValue{"VoiceGuideSwitch", "300", TControl::RadioGroupVoiceGuideLevel, 0, "120"},
        TOddValue{"CsgVoxNzccTh", "0.65", TControl::RadioGroup4, 1, "0.8"}),
    [](const auto& p) { return std::string(p.param.key); });

} // namespace
