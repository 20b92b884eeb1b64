// The current-value read-back reply by reply: the simulated unit answers everything up to
// "GPAR" and the test answers that one itself, to show what each value does to the panel,
// how the read-back ends by the clock, and the air check's click rule.
#include "support/CoreRig.h"

#include <gtest/gtest.h>

using namespace testing_support;
using core::TControl;
using core::TPhase;

namespace {

// Plugged and identified, the default set read, "GPAR" sent and left to the test.
void AtCurrentReadBack(TCoreRig& rig, const char* model, const char* firmware) {
    sim::Profile profile = sim::MakeProfile(model, firmware);
    profile.faults.silent = {"GPAR"};
    rig.PlugUnit(profile);
    ASSERT_TRUE(rig.RunUntil([&] {
        return rig.conversation.Phase() == TPhase::ReadingCurrent && rig.sim->PendingReports() == 0;
    }));
}

void AgainAtCurrentReadBack(TCoreRig& rig) {
    rig.UnplugUnit();
    rig.ReplugUnit();
    ASSERT_TRUE(rig.RunUntil([&] {
        return rig.conversation.Phase() == TPhase::ReadingCurrent && rig.sim->PendingReports() == 0;
    }));
}

struct TShowRow {
    const char* firmware;
    const char* model;  // "DW740": a model the tool does not list
    const char* before; // a reply answered first, or nullptr
    const char* reply;
    TControl choice, box;
    bool leaves; // the reply leaves choice and box as `before` left them
    int item;
    const char* text;
    int tag;
};

void PrintTo(const TShowRow& r, std::ostream* os) {
    *os << r.model << " " << r.firmware << ": " << ::testing::PrintToString(std::string(r.reply));
}

class ShowValue : public ::testing::TestWithParam<TShowRow> {};

TEST_P(ShowValue, SetsChoiceBoxAndTagOrLeavesThem) {
    const TShowRow& r = GetParam();
    TCoreRig rig;
    AtCurrentReadBack(rig, r.model, r.firmware);
    if (r.before) rig.Answer(r.before);
    const core::TControlState choice = rig[r.choice], box = rig[r.box];
    rig.Answer(r.reply);
    if (r.leaves) {
        EXPECT_EQ(rig[r.choice], choice);
        EXPECT_EQ(rig[r.box], box);
    } else {
        EXPECT_EQ(rig[r.choice].itemIndex, r.item);
        EXPECT_EQ(rig[r.box].text, r.text);
        EXPECT_EQ(rig[r.box].tag, r.tag);
    }
    EXPECT_EQ(rig.conversation.Phase(), TPhase::ReadingCurrent);
    EXPECT_TRUE(rig.dialogs.errors.empty());
}

constexpr TControl kVolume = TControl::RadioGroup1, kVolumeBox = TControl::Edit5;

INSTANTIATE_TEST_SUITE_P(
    Replies, ShowValue,
    ::testing::Values(
        // Each kind of value, shown.
        TShowRow{"201019", "DW730 TONAL", nullptr, "OK RxLevel 22001", kVolume, kVolumeBox, false,
                 1, "2", 1},
        TShowRow{"201020", "DW720 KEL", nullptr, "OK RxOutLevel 12744", kVolume, kVolumeBox, false,
                 2, "3", 2},
        TShowRow{"201033", "DW740", nullptr, "OK PhoneOutVol -9", kVolume, kVolumeBox, false, 1,
                 "2", 1},
        TShowRow{"201025", "DW740", nullptr, "OK VOXSw 3", TControl::RadioGroup4, TControl::Edit8,
                 false, 1, "On", 1},
        TShowRow{"201036", "DW740", nullptr, "OK TxSquelchSw 1", TControl::RadioGroup3,
                 TControl::Edit7, false, 1, "On", 1},
        TShowRow{"201036", "DW720 MIV", "OK Channel l", "OK BaseFreq 3", TControl::RGChannel,
                 TControl::EdtChannel, false, 1, "S ch", 1},
        TShowRow{"201036", "DW740", "OK RecordSw 1", "OK RecordSw 7", TControl::RadioGroup5,
                 TControl::Edit9, false, 4, "Transmitting record", 7},
        TShowRow{"201036", "DW740", nullptr, "OK DiveConWarningSw 9", TControl::RgDiveComInterface,
                 TControl::EdtDiveComInterface, false, 0, "Off", 0},
        TShowRow{"201036", "DW730 VELMORAS_SPECIAL", nullptr, "OK TxModeSw 0",
                 TControl::RgDiveComInterface, TControl::EdtDiveComInterface, false, 1, "On", 1},
        TShowRow{"201036", "DW740", nullptr, "OK VoiceGuideSwitch 0",
                 TControl::RadioGroupVoiceGuideLevel, TControl::EditVoiceGuideLevel, false, 2,
                 "High", 2},
        // Values the tables, the firmware or the model cannot show.
        TShowRow{"201019", "DW730 TONAL", "OK RxLevel 22001", "OK RxLevel 65537", kVolume,
                 kVolumeBox, true, -1, "", -1},
        TShowRow{"201020", "DW740", "OK RxOutLevel 12744", "OK RxLevel 22000", kVolume, kVolumeBox,
                 true, -1, "", -1},
        TShowRow{"201033", "DW740", "OK PhoneOutVol -9", "OK RxOutLevel 12744", kVolume, kVolumeBox,
                 true, -1, "", -1},
        TShowRow{"201033", "DW740", "OK PhoneOutVol -9", "OK PhoneOutVolTrx -12", kVolume,
                 kVolumeBox, true, -1, "", -1},
        TShowRow{"201036", "DW740", "OK TxSquelchSw 1", "OK TxSquelchSw 2", TControl::RadioGroup3,
                 TControl::Edit7, true, -1, "", -1},
        TShowRow{"201036", "DW720 MIV", nullptr, "OK Channel l", TControl::RGChannel,
                 TControl::EdtChannel, true, -1, "", -1},
        TShowRow{"201036", "DW730 VELMORAS_SPECIAL", "OK TxModeSw 0", "OK DiveConWarningSw 3",
                 TControl::RgDiveComInterface, TControl::EdtDiveComInterface, true, -1, "", -1},
        TShowRow{"201036", "DW740", "OK DiveConWarningSw 2", "OK TxModeSw 0",
                 TControl::RgDiveComInterface, TControl::EdtDiveComInterface, true, -1, "", -1}));

// A half of the channel pair read on an earlier connection makes no pair with a half of this one.
TEST(ChannelPair, OfAnEarlierConnectionIsForgotten) {
    TCoreRig rig;
    AtCurrentReadBack(rig, "DW740 NEW", "201036");
    rig.Answer("OK Channel u");
    rig.Answer("OK BaseFreq 3");
    ASSERT_EQ(rig[TControl::EdtChannel].text, "B ch");
    for (const char* half : {"OK Channel l", "OK BaseFreq 2"}) {
        AgainAtCurrentReadBack(rig);
        rig.Answer(half);
        EXPECT_EQ(rig[TControl::RGChannel].itemIndex, -1) << half;
        EXPECT_EQ(rig[TControl::EdtChannel].text, "") << half;
        rig.Answer("OK Channel u");
        rig.Answer("OK BaseFreq 3");
    }
}

TEST(AirCheck, ValuesCheckOrClearTheBox) {
    TCoreRig rig;
    AtCurrentReadBack(rig, "DW730 TONAL", "201036");
    rig.Answer("OK DivingTimeSignalSw 2457900");
    EXPECT_EQ(rig[TControl::EditDivingTimeSignal].text, "10min. 5min.");
    EXPECT_EQ(rig[TControl::EditDivingTimeSignal].tag, 1);
    EXPECT_TRUE(rig[TControl::CheckBoxDivingTimeSignalEnable].checked);
    EXPECT_TRUE(rig[TControl::ComboBoxDivingTimeSignal1].enabled);
    EXPECT_TRUE(rig[TControl::Label12].enabled);
    EXPECT_EQ(rig[TControl::ComboBoxDivingTimeSignal2].itemIndex, 0);

    rig.Answer("OK DivingTimeSignalSw " + std::to_string(600 * 4096 + 400));
    EXPECT_EQ(rig[TControl::EditDivingTimeSignal].text, "unknown");
    EXPECT_EQ(rig[TControl::EditDivingTimeSignal].tag, -1);
    EXPECT_FALSE(rig[TControl::CheckBoxDivingTimeSignalEnable].checked);
    EXPECT_FALSE(rig[TControl::ComboBoxDivingTimeSignal1].enabled);
    EXPECT_EQ(rig[TControl::ComboBoxDivingTimeSignal1].itemIndex, -1);
    rig.Answer("OK DivingTimeSignalSw -1"); // bits above 23 are ignored: 4095 s, 4095 s
    EXPECT_EQ(rig[TControl::EditDivingTimeSignal].text, "unknown");
}

TEST(AirCheck, CheckingTheBoxPicksTwentyAndTenMinutes) {
    TCoreRig rig;
    AtCurrentReadBack(rig, "DW730 TONAL", "201036");
    rig.Check(TControl::CheckBoxDivingTimeSignalEnable, true);
    EXPECT_EQ(rig[TControl::ComboBoxDivingTimeSignal1].itemIndex, 1); // "in 20 min."
    EXPECT_EQ(rig[TControl::ComboBoxDivingTimeSignal2].itemIndex, 1); // "every 10 min."
    EXPECT_TRUE(rig[TControl::Label11].enabled);
    rig.Choose(TControl::ComboBoxDivingTimeSignal1, 3);
    rig.Check(TControl::CheckBoxDivingTimeSignalEnable, false);
    EXPECT_EQ(rig[TControl::ComboBoxDivingTimeSignal1].itemIndex, -1);
    EXPECT_FALSE(rig[TControl::ComboBoxDivingTimeSignal2].enabled);
    EXPECT_FALSE(rig[TControl::Label11].enabled);
    // One combo box still chosen: the other is left empty.
    rig.Choose(TControl::ComboBoxDivingTimeSignal2, 2);
    rig.Check(TControl::CheckBoxDivingTimeSignalEnable, true);
    EXPECT_EQ(rig[TControl::ComboBoxDivingTimeSignal1].itemIndex, -1);
    EXPECT_EQ(rig[TControl::ComboBoxDivingTimeSignal2].itemIndex, 2);
}

TEST(ReadBackEnd, OneSecondAfterTheLastReplyByTheClock) {
    TCoreRig rig;
    AtCurrentReadBack(rig, "DW730 TONAL", "201036");
    core::TConversation& c = rig.conversation;
    const core::TTimePoint start = rig.clock.now;
    const auto at = [&](std::int64_t ms) {
        rig.clock.now = start;
        rig.clock.Advance(ms);
    };
    at(500);
    ASSERT_TRUE(rig.Deliver(LineReport("OK TxSquelchSw 0")));
    c.Tick();
    EXPECT_EQ(rig[TControl::Edit7].text, "Off");
    EXPECT_EQ(rig[TControl::ProgressBar1].position, 63); // 60 + 40 / 13

    at(1499);
    c.Tick();
    EXPECT_EQ(c.Phase(), TPhase::ReadingCurrent);
    // A clock set back neither ends the read-back nor holds it open for an hour.
    at(-3600 * 1000);
    c.Tick();
    EXPECT_EQ(c.Phase(), TPhase::ReadingCurrent);
    at(-3600 * 1000 + 999);
    c.Tick();
    EXPECT_EQ(c.Phase(), TPhase::ReadingCurrent);
    at(-3600 * 1000 + 1000);
    c.Tick();
    EXPECT_EQ(c.Phase(), TPhase::Ready);
}

} // namespace
