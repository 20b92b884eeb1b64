// The window's panel is drawn from the unit's state: a painter that comes late, and draws the
// state it finds, shows every text, list, choice, tag and position the live one shows.
#include "support/CoreRig.h"

#include "link/PanelPainter.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using core::TControl;
using testing_support::TCoreRig;

struct TMoment {
    const char* name;
    const char* model;
    const char* firmware;
    std::function<void(TCoreRig&)> reach; // from a unit plugged in
};

void PrintTo(const TMoment& m, std::ostream* os) {
    *os << m.name;
}

void Rest(TCoreRig& rig) {
    ASSERT_TRUE(rig.RunToRest(20000, true));
}

const TMoment kMoments[] = {
    {"Identifying", "DW730 TONAL", "201036",
     [](TCoreRig& r) { r.RunUntil([&] { return r.conversation.Serial().has_value(); }); }},
    {"ReadBack", "DW730 TONAL", "201036", Rest},
    {"ChosenNotApplied", "DW720 KEL", "201029",
     [](TCoreRig& r) {
         Rest(r);
         r.Choose(TControl::RadioGroup1, 2);
         r.Check(TControl::CheckBoxDivingTimeSignalEnable, false);
     }},
    {"Applying", "DW740 NEW", "201036",
     [](TCoreRig& r) {
         Rest(r);
         r.Choose(TControl::RadioGroup1, 0);
         r.conversation.PressApply();
         r.Steps(3);
     }},
    {"Applied", "DW730 VELMORAS_SPECIAL", "201036",
     [](TCoreRig& r) {
         Rest(r);
         r.Choose(TControl::RgDiveComInterface, 1);
         r.conversation.PressApply();
         Rest(r);
     }},
    {"Defaulted", "PX510", "201026",
     [](TCoreRig& r) {
         Rest(r);
         r.conversation.PressDefault();
         Rest(r);
     }},
    {"Unsupported", "DW730 TONAL", "202000", Rest},
    {"OldFirmware", "DW720 MIV", "105", Rest},
    {"Unplugged", "DW720 QZ", "201036",
     [](TCoreRig& r) {
         Rest(r);
         r.UnplugUnit();
         r.Steps(2);
     }},
};

class PanelOfTheState : public ::testing::TestWithParam<TMoment> {};

TEST_P(PanelOfTheState, IsWhatTheLivePanelShows) {
    const TMoment& m = GetParam();
    TCoreRig rig;
    rig.PlugUnit(m.model, m.firmware);
    m.reach(rig);
    const core::TPanel& live = rig.Panel();

    core::TPanelPainter late;
    late.Show(rig.conversation);
    const core::TPanel& drawn = late.Panel();
    for (TControl c : params::AllControls()) {
        SCOPED_TRACE(std::string(params::ControlName(c)));
        EXPECT_EQ(drawn[c].text, live[c].text);
        EXPECT_EQ(drawn[c].items, live[c].items);
        EXPECT_EQ(drawn[c].itemIndex, live[c].itemIndex);
        EXPECT_EQ(drawn[c].tag, live[c].tag);
        EXPECT_EQ(drawn[c].checked, live[c].checked);
        EXPECT_EQ(drawn[c].position, live[c].position);
    }
}

INSTANTIATE_TEST_SUITE_P(Moments, PanelOfTheState, ::testing::ValuesIn(kMoments),
                         [](const auto& moment) { return std::string(moment.param.name); });

} // namespace
