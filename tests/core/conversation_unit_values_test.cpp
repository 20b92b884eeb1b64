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
    rig.Choose(other, rig[other].itemIndex == 0 ? 1 : 0);
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
        rig.Check(odd.own, false);
    } else {
        rig.Choose(odd.own, rig[odd.own].itemIndex); // the item shown is no change
        c.PressApply();
        EXPECT_EQ(rig[TControl::SpeedButton2].tag, 0);
        // and goes back as the unit has it when something else is written
        rig.Choose(other, rig[other].itemIndex == 0 ? 1 : 0);
        rig.Mark();
        c.PressApply();
        ASSERT_TRUE(rig.RunToRest());
        EXPECT_TRUE(Sent(Command(odd.value))) << ::testing::PrintToString(rig.SentSinceMark());
        EXPECT_EQ(Stored(odd.key), std::optional<std::string>(odd.value));
        rig.Choose(odd.own, odd.choose);
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

// ---- a restore: the values a backup holds go back as the unit reported them ----------------

namespace {

// A unit holding a value no item writes exactly (or one the tables show as another model's).
struct TRestoreKind {
    const char* name;
    const char* model;
    const char* firmware;
    std::vector<std::pair<const char*, const char*>> held; // on top of the preset's stored set
};

void PrintTo(const TRestoreKind& k, std::ostream* out) {
    *out << k.name << " (" << k.model << "/" << k.firmware << ")";
}

// What a front end shows and compares of each setting.
std::vector<std::string> Shown(const core::TConversation& c) {
    std::vector<std::string> out;
    for (const auto& info : params::kSettings) {
        const auto s = c.Setting(info.id);
        out.push_back(std::string(info.name) + "=" + s.shown + "/" +
                      std::to_string(s.current.value_or(-1)) + "/" + s.raw.value_or("-"));
    }
    return out;
}

class Restore : public ::testing::TestWithParam<TRestoreKind> {
  protected:
    void SetUp() override {
        sim::Profile profile = sim::MakeProfile(GetParam().model, GetParam().firmware);
        for (const auto& [key, value] : GetParam().held)
            ASSERT_TRUE(profile.stored->Set(key, value)) << key;
        rig.PlugUnit(profile);
        ASSERT_TRUE(rig.RunToRest());
        held = *rig.sim->Stored();
        backup = c.UnitValues();
        shown = Shown(c);
    }
    // Another item of every setting the unit offers, then Apply.
    void ChangeEverything() {
        for (const auto& info : params::kSettings) {
            const std::size_t n = params::SettingValues(info.id, c.Identity()).size();
            if (n > 1)
                c.Choose(info.id,
                         (c.Setting(info.id).current.value_or(0) + 1) % static_cast<int>(n));
        }
        c.PressApply();
        ASSERT_TRUE(rig.RunToRest());
        ASSERT_NE(*rig.sim->Stored(), held);
    }
    TCoreRig rig;
    core::TConversation& c = rig.conversation;
    sim::ParamSet held;
    params::TUnitValues backup;
    std::vector<std::string> shown;
};

TEST_P(Restore, BringsBackEveryValueTheUnitHeldAndShowsItAsAReadBackDoes) {
    ChangeEverything();
    const params::TUnitValues changed = c.UnitValues();
    c.ChooseUnitValues(backup);
    c.PressApply();
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(*rig.sim->Stored(), held);
    // Counted and reported by what the unit's values were, not by the items.
    std::vector<params::TSetting> differ;
    for (const auto& [command, value] : backup.All())
        if (params::ChangesUnitValue(command + value, changed))
            for (const params::TWriteEntry& e : params::WritePlan(c.Identity(), {}))
                if (e.setting && e.command && params::WriteCommandOf(*e.command) == command &&
                    std::find(differ.begin(), differ.end(), *e.setting) == differ.end())
                    differ.push_back(*e.setting);
    std::sort(differ.begin(), differ.end());
    std::vector<params::TSetting> counted = c.Changed();
    std::sort(counted.begin(), counted.end());
    EXPECT_EQ(counted, differ);
    for (params::TSetting s : differ)
        EXPECT_NE(std::find(c.LastRun().written.begin(), c.LastRun().written.end(), s),
                  c.LastRun().written.end());
    EXPECT_EQ(c.UnitValues(), backup);
    EXPECT_EQ(Shown(c), shown);
    c.PressReconnect();
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(Shown(c), shown);

    // Saved once: a later Apply goes by the items again.
    rig.Mark();
    c.PressApply();
    EXPECT_TRUE(rig.SentSinceMark().empty());
}

TEST_P(Restore, IsOnlyForTheApplyItWasChosenForAndYieldsToALaterChoice) {
    ChangeEverything();
    const sim::ParamSet changed = *rig.sim->Stored();
    // Read again before Apply: the restore is gone.
    c.ChooseUnitValues(backup);
    c.PressReconnect();
    ASSERT_TRUE(rig.RunToRest());
    rig.Mark();
    c.PressApply();
    EXPECT_TRUE(rig.SentSinceMark().empty());
    EXPECT_EQ(*rig.sim->Stored(), changed);

    // A volume chosen after it goes by its item; everything else comes back.
    c.ChooseUnitValues(backup);
    c.Choose(params::TSetting::Volume, 0);
    const std::string volume = params::VolumeCommand(c.Identity(), 0);
    c.PressApply();
    ASSERT_TRUE(rig.RunToRest());
    const auto sent = rig.SentSinceMark();
    EXPECT_NE(std::find(sent.begin(), sent.end(), volume), sent.end()) << volume;
    for (const auto& [key, value] : held.Entries()) {
        if (params::WriteCommandOf("SPAR " + key + " ") == params::WriteCommandOf(volume)) continue;
        EXPECT_EQ(rig.sim->Stored()->Get(key), value) << key;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Restore,
    ::testing::Values(
        TRestoreKind{"PhoneOutVolBetweenItems", "DW720 KEL", "201036", {{"PhoneOutVol", "-7"}}},
        TRestoreKind{"RxLevelBetweenItems", "DW720 KEL", "201016", {{"RxLevel", "18001"}}},
        TRestoreKind{"HandsFreeOffWithItsOwnThreshold",
                     "DW730 TONAL",
                     "201036",
                     {{"VOXSw", "0"}, {"CsgVoxNzccTh", "0.65"}}},
        TRestoreKind{"ChannelSOfAMivThatDoesNotGiveItsModel", "DW720 MIV", "201016", {}},
        TRestoreKind{"VoiceGuideOff", "DW730 TONAL", "201036", {{"VoiceGuideSwitch", "0"}}},
        TRestoreKind{"DiveComputerOne", "DW730 TONAL", "201036", {{"DiveConWarningSw", "1"}}},
        TRestoreKind{
            "AirCheckOutsideTheTable", "DW730 TONAL", "201036", {{"DivingTimeSignalSw", "1234"}}}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
