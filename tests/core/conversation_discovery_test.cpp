// Finding the transceiver among the HID devices: which product is taken, what the log tells
// of each device change, Reconnect, and what a device change does to the panel.
#include "support/ConversationPeer.h"
#include "support/CoreRig.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using namespace testing_support;
using core::TControl;

namespace {

// The log from the last line that is the text.
std::vector<std::string> LogFrom(const TCoreRig& rig, std::string_view text) {
    const auto lines = rig.LogTexts();
    const auto last = std::find(lines.rbegin(), lines.rend(), text);
    if (last == lines.rend()) return {};
    return {std::prev(last.base()), lines.end()};
}

TEST(Discovery, StartUpWithNoTransceiverIsIdle) {
    TCoreRig rig;
    EXPECT_FALSE(rig.conversation.FirstCheck());
    EXPECT_TRUE(rig.LogHas("HidCtrl1DeviceChange:Runung=False."));
    EXPECT_FALSE(rig[TControl::Timer1].enabled);
    EXPECT_TRUE(rig.dialogs.messages.empty());
}

TEST(Discovery, ConnectLogsEachDeviceThenTheOpenAndStartsAtStepTwo) {
    TCoreRig rig;
    auto* other = rig.hid.Plug(0x046D, 0xC077, false);
    other->PnP.HardwareID = {"HID\\VID_046D&PID_C077", "HID\\VID_046D"};
    rig.PlugBare();
    const auto tail = LogFrom(rig, "device change.");
    ASSERT_GE(tail.size(), 2u);
    EXPECT_TRUE(tail[1].starts_with("HidCtlEnumerate: VenderID=046D DeviceID=C077 DevicePath="));
    EXPECT_NE(std::find(tail.begin(), tail.end(), "  PnPInfo.HardwareID[1]=HID\\VID_046D"),
              tail.end());
    const auto open = std::find(tail.begin(), tail.end(), "HID_Open.");
    ASSERT_NE(open, tail.end());
    EXPECT_EQ(std::vector<std::string>(open + 1, tail.end()),
              (std::vector<std::string>{"HID_Open:CheckOut QD device2.",
                                        "HidCtrl1DeviceChange:Runung=True.",
                                        "Connect device : Sonavelle"}));
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::SendingClock);
    EXPECT_TRUE(rig.conversation.Running());
}

TEST(Discovery, DumpOfADeviceWithEmptyListsHasTwentyFiveLines) {
    TCoreRig rig;
    const auto before = rig.log.lines.size();
    rig.bench.Enumerated(*rig.hid.Plug(0x1234, 0x5678, false));
    EXPECT_EQ(rig.log.lines.size() - before, 25u);
    EXPECT_EQ(rig.log.lines.at(before + 1).text, "  PnPInfo.DeviceID=0");
}

struct TProducts {
    const char* name;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> plugged; // vendor, product
    int opened;                                                   // index into plugged, -1: none
    const char* logged;
};

class Products : public ::testing::TestWithParam<TProducts> {};

TEST_P(Products, ThePreferredOneIsOpened) {
    TCoreRig rig;
    std::vector<TFakeHidDevice*> devices;
    for (auto [vendor, product] : GetParam().plugged)
        devices.push_back(rig.hid.Plug(vendor, product, false));
    rig.hid.NotifyChange();
    const int opened = GetParam().opened;
    EXPECT_EQ(Peer(rig.conversation).Device(),
              opened < 0 ? nullptr : devices[static_cast<std::size_t>(opened)]);
    EXPECT_EQ(rig.conversation.Running(), opened >= 0);
    EXPECT_EQ(rig.LogCount(GetParam().logged), 1);
}

constexpr std::uint16_t kVendor = core::TransceiverVendorID;

INSTANTIATE_TEST_SUITE_P(
    Choices, Products,
    ::testing::Values(
        TProducts{"NewestOfTheTransceivers",
                  {{kVendor, 0x7801}, {kVendor, 0x7800}, {kVendor, 0x7802}},
                  2,
                  "HID_Open:CheckOut QD device2."},
        // Another product of the vendor is dumped, not opened.
        TProducts{
            "ForeignProductOfTheVendor", {{kVendor, 0x7801}}, -1, "HidCtlEnumerate: VenderID="},
        TProducts{"KeilBoardLast", {{0x2342, 0x0043}}, 0, "HID_Open:CheckOut keil device."}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Reconnect, WithoutATransceiverTurnsClosedIntoIdle) {
    TCoreRig rig;
    rig.PlugUnit("DW730 TONAL", "202000"); // not supported: the conversation closes
    ASSERT_TRUE(rig.RunToRest());
    ASSERT_EQ(rig.conversation.Phase(), core::TPhase::Closing);
    rig.Step(); // checked in
    // Pulled without a notice, as a lost one would leave it.
    rig.unit->OnWrite = nullptr;
    rig.hid.Unplug(rig.unit, false);
    rig.unit = nullptr;

    rig.conversation.PressReconnect();
    EXPECT_EQ(LogFrom(rig, "Reconnect."),
              (std::vector<std::string>{"Reconnect.", "device change.", "HID_Open.",
                                        "HidCtrl1DeviceChange:Runung=False."}));
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
    EXPECT_FALSE(rig[TControl::Timer1].enabled);
}

TEST(DeviceChange, BeginsByClearingThePanel) {
    TCoreRig rig;
    rig.PlugUnit("DW720 KEL", "201036");
    ASSERT_TRUE(rig.RunToRest());
    ASSERT_NE(rig[TControl::RadioGroup4].itemIndex, -1);
    ASSERT_TRUE(rig[TControl::CheckBoxDivingTimeSignalEnable].checked);
    rig.Choose(TControl::ComboBoxDivingTimeSignal2, 0);

    rig.hid.Plug(0x046D, 0xC077); // any device plugged in
    EXPECT_EQ(rig[TControl::RadioGroup4].itemIndex, -1);
    EXPECT_FALSE(rig[TControl::RadioGroup4].enabled);
    EXPECT_EQ(rig[TControl::Edit8].text, "");
    EXPECT_EQ(rig[TControl::Edit8].tag, -1);
    EXPECT_FALSE(rig[TControl::CheckBoxDivingTimeSignalEnable].checked);
    EXPECT_EQ(rig[TControl::ComboBoxDivingTimeSignal2].itemIndex, -1);
    EXPECT_EQ(rig[TControl::ProgressBar1].position, 0);
    EXPECT_FALSE(rig[TControl::Label3].visible);
}

// ---- a device change while a run writes --------------------------------------------------

enum class TChange { ForeignIn, ForeignOut, TransceiverIn };

struct TChangeDuringRun {
    core::TRunKind kind;
    TChange change;
    int tick; // ticks into the run
};

void PrintTo(const TChangeDuringRun& row, std::ostream* os) {
    static constexpr const char* kChanges[] = {"ForeignIn", "ForeignOut", "TransceiverIn"};
    *os << (row.kind == core::TRunKind::Apply ? "Apply" : "Default")
        << kChanges[static_cast<int>(row.change)] << "AtTick" << row.tick;
}

class ChangeDuringRun : public ::testing::TestWithParam<TChangeDuringRun> {};

constexpr std::uint16_t kForeignVendor = 0x1209;

TEST_P(ChangeDuringRun, LetsTheRunEndThenIdentifiesTheUnitAfresh) {
    const TChangeDuringRun& row = GetParam();
    TCoreRig rig;
    TFakeHidDevice* foreign =
        row.change == TChange::ForeignOut ? rig.hid.Plug(kForeignVendor, 0x0001) : nullptr;
    rig.PlugUnit("DW730 TONAL", "201036");
    ASSERT_TRUE(rig.RunToRest());
    rig.Step();
    rig.Mark();
    const bool apply = row.kind == core::TRunKind::Apply;
    if (apply) {
        rig.conversation.Choose(core::TSetting::Volume, 0);
        rig.conversation.PressApply();
    } else {
        rig.conversation.PressDefault();
    }
    rig.Steps(row.tick);
    ASSERT_TRUE(rig.conversation.LastRun().acknowledged.empty() == (row.tick < 2) || apply);
    ASSERT_FALSE(rig.conversation.LastRun().saved);
    switch (row.change) {
    case TChange::ForeignIn:
        rig.hid.Plug(kForeignVendor, 0x0001);
        break;
    case TChange::ForeignOut:
        rig.hid.Unplug(foreign);
        break;
    case TChange::TransceiverIn:
        rig.hid.Plug(core::TransceiverVendorID, rig.sim->GetProfile().productId);
        break;
    }
    EXPECT_EQ(rig.LogCount("The unit is still plugged in: the device change is handled once "
                           "the write run has ended."),
              1);
    ASSERT_TRUE(rig.RunUntil([&] { return rig.journal.calls.size() == 2; }, 3000));
    EXPECT_EQ(rig.journal.calls.back().end, core::TRunEnd::Saved);
    const auto& run = rig.conversation.LastRun();
    EXPECT_TRUE(apply ? run.saved : run.erased);
    EXPECT_FALSE(run.refusal.has_value());

    // The next tick handles the change as for a unit at rest: the same unit, identified afresh.
    const int opened = rig.LogCount("HidCtrl1DeviceChange:Runung=True.");
    rig.Step();
    EXPECT_EQ(rig.LogCount("HidCtrl1DeviceChange:Runung=True."), opened + 1);
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
    EXPECT_EQ(Peer(rig.conversation).Device(), rig.unit);
    const std::vector<std::string> sent = rig.SentSinceMark();
    const auto last = std::find(sent.begin(), sent.end(), apply ? "SAVE" : "CLEAR");
    ASSERT_NE(last, sent.end());
    EXPECT_TRUE(std::any_of(last, sent.end(),
                            [](const std::string& c) { return c.starts_with("RTC SET"); }));
    EXPECT_EQ(rig.journal.calls.size(), 2u);
}

std::vector<TChangeDuringRun> ChangesDuringRuns() {
    std::vector<TChangeDuringRun> rows;
    for (core::TRunKind kind : {core::TRunKind::Apply, core::TRunKind::Default})
        for (TChange change : {TChange::ForeignIn, TChange::ForeignOut, TChange::TransceiverIn})
            for (int tick : {0, 1, 3, 8})
                if (kind == core::TRunKind::Apply || tick < 2) rows.push_back({kind, change, tick});
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Runs, ChangeDuringRun, ::testing::ValuesIn(ChangesDuringRuns()),
                         [](const auto& row) { return ::testing::PrintToString(row.param); });

TEST(Sequencer, AConversationAtRestLogsAndSendsNothing) {
    TCoreRig rig;
    rig.PlugUnit("DW730 TONAL", "201036");
    ASSERT_TRUE(rig.RunToRest());
    rig.Step(); // "1 status", once
    const auto lines = rig.log.lines.size();
    rig.Mark();
    rig.Steps(100);
    EXPECT_EQ(rig.log.lines.size(), lines);
    EXPECT_TRUE(rig.SentSinceMark().empty());
    EXPECT_TRUE(rig[TControl::File1].enabled);
    EXPECT_TRUE(rig[TControl::Info1].enabled);
    EXPECT_EQ(rig.LogCount("8 status"), 1);
}

} // namespace
