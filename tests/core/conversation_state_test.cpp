// The state front ends read: the phase the log prints as a number, and each named setting
// of a unit after its read-back.
#include "settings/ApplyValues.h"
#include "sim/Params.h"
#include "support/CoreRig.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using core::TPhase;
using params::TSetting;

TEST(Phase, IsLoggedAsItsStepNumber) {
    const std::pair<TPhase, const char*> kCases[] = {
        {TPhase::SettingClock, "3 status"},
        {TPhase::ReadingVersion, "4 status"},
        {TPhase::ReadingCurrent, "8 status"},
        {TPhase::Ready, "1 status"},
    };
    testing_support::TCoreRig rig;
    rig.PlugUnit("DW730 TONAL", "201036");
    for (const auto& [phase, line] : kCases) {
        ASSERT_TRUE(rig.RunUntil([&] { return rig.conversation.Phase() == phase; }, 20000, true))
            << line;
        rig.Step(true);
        EXPECT_TRUE(rig.LogHas(line)) << line;
    }
}

struct TUnitCase {
    const char* model;
    const char* firmware;
    std::vector<TSetting> notOffered;
};

void PrintTo(const TUnitCase& u, std::ostream* os) {
    *os << u.model << " " << u.firmware;
}

class SettingState : public ::testing::TestWithParam<TUnitCase> {};

TEST_P(SettingState, OffersWhatTheUnitHasWithItsValueChosen) {
    const TUnitCase& u = GetParam();
    testing_support::TCoreRig rig;
    rig.PlugUnit(u.model, u.firmware);
    ASSERT_TRUE(rig.RunToRest(20000, true));
    const core::TConversation& c = rig.conversation;
    EXPECT_EQ(c.Phase(), TPhase::Ready);
    EXPECT_FALSE(c.NeedsTicks() && !c.Running());
    for (const params::TSettingInfo& info : params::kSettings) {
        SCOPED_TRACE(std::string(info.name));
        const core::TConversation::TSettingState s = c.Setting(info.id);
        const bool absent =
            std::find(u.notOffered.begin(), u.notOffered.end(), info.id) != u.notOffered.end();
        EXPECT_EQ(s.offered, !absent);
        if (absent) continue;
        // Read back and not yet chosen otherwise: the choice is the unit's value.
        ASSERT_TRUE(s.current.has_value());
        EXPECT_EQ(s.choice, s.current);
        // The raw value is the one the unit reported for the key Apply writes.
        const std::string_view command = params::SettingCommand(info.id, c.Identity());
        const auto key = sim::CanonicalKey(command.substr(5, command.size() - 6));
        ASSERT_TRUE(key);
        EXPECT_EQ(s.raw, rig.sim->Stored()->Get(*key));
        EXPECT_FALSE(s.shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Units, SettingState,
    ::testing::Values(TUnitCase{"DW730 TONAL",
                                "201036",
                                {TSetting::AutoSwitching, TSetting::Channel, TSetting::Recorder,
                                 TSetting::ReceiveOnly}},
                      TUnitCase{"DW730 VELMORAS_SPECIAL",
                                "201036",
                                {TSetting::Channel, TSetting::Recorder, TSetting::DiveComputer}},
                      TUnitCase{
                          "DW720 KEL", "201036", {TSetting::Channel, TSetting::ReceiveOnly}}));

} // namespace
