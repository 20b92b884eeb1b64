// A unit that misbehaves: refused and garbled replies at each step, values that cannot be
// read, a unit that vanishes, writes that fail, an upload that goes wrong, a unit attached
// before the tool started. The conversation never gives way: it logs, waits or ends as the
// step says, and loses nothing the unit sent.
#include "support/CoreRig.h"
#include "support/ConversationPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

using namespace testing_support;
using core::TControl;

namespace {

constexpr const char* kModel = "DW730 TONAL";
constexpr const char* kFirmware = "201036";
// RTC SET, VER, KIND, LANGUAGE, GSER, GETTMPPARAM, GPAR
constexpr int kConnectCommands = 7;

bool Contains(const std::vector<std::string>& all, const std::string& one) {
    return std::find(all.begin(), all.end(), one) != all.end();
}

// ---- identification and read-back replies the tool cannot use ---------------------------

enum class TFault { Ng, Garbage };

struct TBadReply {
    TFault fault;
    const char* command;
    std::int32_t restsAt; // 99: the conversation ends
    const char* serial;   // Edit2 afterwards
};

class BadReply : public ::testing::TestWithParam<TBadReply> {};

TEST_P(BadReply, WaitsOrEndsAsTheStepSaysAndLogsEveryReport) {
    const TBadReply& p = GetParam();
    sim::Profile profile = sim::MakeProfile(kModel, kFirmware);
    (p.fault == TFault::Ng ? profile.faults.ng : profile.faults.garbage).insert(p.command);
    TCoreRig rig;
    rig.PlugUnit(profile);
    for (int i = 0; i < 3000; ++i)
        rig.Step();

    EXPECT_EQ(params::StepNumber(rig.conversation.Phase()), p.restsAt);
    EXPECT_EQ(rig.conversation.Connected(), p.restsAt != 99);
    const auto sent = rig.SentSinceMark();
    if (p.restsAt != 1) {
        EXPECT_TRUE(sent.back().starts_with(p.command)) << "nothing after it";
    }
    EXPECT_EQ(rig[TControl::Edit2].text, p.serial);
    const auto received =
        std::count_if(rig.log.lines.begin(), rig.log.lines.end(),
                      [](const TLogLine& l) { return l.direction == core::kLogReceived; });
    EXPECT_EQ(received, rig.delivered);
    EXPECT_TRUE(rig.dialogs.errors.empty());
}

const std::string kSerial = sim::MakeProfile(kModel, kFirmware).serial;

INSTANTIATE_TEST_SUITE_P(
    Steps, BadReply,
    ::testing::Values(
        TBadReply{TFault::Ng, "RTC SET", 3, ""}, TBadReply{TFault::Ng, "VER", 99, ""},
        TBadReply{TFault::Ng, "KIND", 99, ""}, TBadReply{TFault::Ng, "LANGUAGE", 99, ""},
        TBadReply{TFault::Ng, "GSER", 1, "Not found"},
        TBadReply{TFault::Ng, "GETTMPPARAM", 7, kSerial.c_str()},
        TBadReply{TFault::Garbage, "RTC SET", 3, ""}, TBadReply{TFault::Garbage, "VER", 99, ""},
        TBadReply{TFault::Garbage, "KIND", 99, ""}, TBadReply{TFault::Garbage, "GSER", 1, ""},
        TBadReply{TFault::Garbage, "GETTMPPARAM", 7, kSerial.c_str()}),
    [](const auto& param) {
        std::string name = (param.param.fault == TFault::Ng ? "Ng_" : "Garbage_") +
                           std::string(param.param.command);
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST(BadReply, GarbledCurrentValuesLeaveTheirChoicesOff) {
    sim::Profile profile = sim::MakeProfile(kModel, kFirmware);
    profile.faults.garbage = {"GPAR"};
    TCoreRig rig;
    rig.PlugUnit(profile);
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
    for (TControl c : {TControl::RadioGroup1, TControl::RadioGroup4, TControl::RgDiveComInterface,
                       TControl::RadioGroupVoiceGuideLevel}) {
        EXPECT_EQ(rig[c].itemIndex, -1) << ControlName(c);
        EXPECT_FALSE(rig[c].enabled) << ControlName(c);
    }
    EXPECT_TRUE(rig.dialogs.errors.empty());
}

// A parameter reply whose value cannot be taken is shown in the error box and dropped; the
// read-back goes on with the replies behind it and ends as it would have.
struct TUnreadable {
    std::int32_t step;
    const char* reply;
};

class UnreadableValue : public ::testing::TestWithParam<TUnreadable> {};

TEST_P(UnreadableValue, IsReportedAndTheReadBackEndsAsWithout) {
    TCoreRig clean;
    clean.PlugUnit(kModel, kFirmware);
    ASSERT_TRUE(clean.RunToRest());

    TCoreRig rig;
    rig.PlugUnit(kModel, kFirmware);
    ASSERT_TRUE(rig.RunUntil(
        [&] { return params::StepNumber(rig.conversation.Phase()) == GetParam().step; }));
    rig.Step(); // the first reply of the read-back is under way
    ASSERT_TRUE(rig.Deliver(LineReport(GetParam().reply)));
    ASSERT_TRUE(rig.RunToRest());

    EXPECT_EQ(rig.dialogs.errors.size(), 1u);
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
    EXPECT_EQ(testing_support::Peer(rig.conversation).InitialParams(),
              testing_support::Peer(clean.conversation).InitialParams());
    for (TControl c : params::AllControls())
        EXPECT_EQ(rig[c], clean[c]) << ControlName(c);
}

INSTANTIATE_TEST_SUITE_P(Replies, UnreadableValue,
                         ::testing::Values(TUnreadable{7, "OK PhoneOutVol loud"},
                                           TUnreadable{7, "OK CsgVoxNzccTh"},
                                           TUnreadable{8, "OK CsgVoxNzccTh nan"},
                                           TUnreadable{8, "OK RxLevel"}));

TEST(EmptyUnit, AUnitWithoutStoredSettingsShowsItsDefaultSet) {
    for (const char* model : {"DW720 KEL", "DW720 MIV", "DW720 QZ", "DW730 TONAL",
                              "DW730 VELMORAS_SPECIAL", "PX510", "DW740 NEW"}) {
        SCOPED_TRACE(model);
        sim::Profile factory = sim::MakeProfile(model, kFirmware);
        factory.stored = factory.defaults;
        TCoreRig reference;
        reference.PlugUnit(factory);
        ASSERT_TRUE(reference.RunToRest());

        sim::Profile empty = sim::MakeProfile(model, kFirmware);
        empty.stored.reset(); // "NG Parameters not found"
        TCoreRig rig;
        rig.PlugUnit(empty);
        ASSERT_TRUE(rig.RunToRest());
        ASSERT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
        for (TControl c : params::AllControls())
            EXPECT_EQ(rig[c], reference[c]) << ControlName(c);
    }
}

// ---- Apply and Default against a unit that refuses -------------------------------------------

class RefusingUnit : public ::testing::Test {
  protected:
    void SetUp() override {
        rig.PlugUnit(kModel, kFirmware);
        ASSERT_TRUE(rig.RunToRest());
        rig.Mark();
        rig.conversation.Choose(TControl::RadioGroup1, 0);
    }
    sim::Faults& Faults() { return rig.sim->MutableFaults(); }
    void Run() {
        for (int i = 0; i < 2000 && rig.conversation.Phase() != core::TPhase::Ready; ++i)
            rig.Step();
    }

    TCoreRig rig;
};

TEST_F(RefusingUnit, ARefusedWriteHoldsTheRunUntilApplyIsPressedAgain) {
    for (const char* command :
         {"SPAR PhoneOutVol", "SPAR VOXsw", "SPAR CsgVoxNzccTh", "SPAR DivingTimeSignalSw"}) {
        for (auto faults : {&sim::Faults::ng, &sim::Faults::garbage, &sim::Faults::silent}) {
            SCOPED_TRACE(command);
            (Faults().*faults).insert(command);
            rig.conversation.PressApply();
            Run();
            EXPECT_NE(rig.conversation.Phase(), core::TPhase::Ready);
            EXPECT_EQ(rig[TControl::Label4].text, "Updating.");
            EXPECT_FALSE(rig[TControl::File1].enabled);
            EXPECT_EQ(rig[TControl::Edit5].tag, 3) << "nothing was saved";
            (Faults().*faults).clear();
        }
    }
    rig.Mark();
    rig.conversation.PressApply();
    Run();
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
    EXPECT_EQ(rig.SentSinceMark().back(), "SAVE");
    EXPECT_EQ(rig[TControl::Edit5].tag, 0);
    EXPECT_TRUE(rig.dialogs.errors.empty());
}

TEST_F(RefusingUnit, AnUnconfirmedSaveEndsTheRunWithoutClaimingTheNewValues) {
    Faults().ng = {"SAVE"};
    rig.conversation.PressApply();
    Run();
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
    EXPECT_TRUE(rig[TControl::SpeedButton2].enabled);
    EXPECT_EQ(rig[TControl::Edit5].tag, 3);
    EXPECT_EQ(rig[TControl::Edit5].text, "4");
    // The change is still there to be applied.
    Faults().ng.clear();
    rig.conversation.PressApply();
    EXPECT_EQ(rig[TControl::SpeedButton2].tag, 1);
}

TEST_F(RefusingUnit, DefaultReplacesAHeldRunAndWaitsForTheErasure) {
    Faults().ng = {"SPAR TxSquelchSw", "CLEAR"};
    rig.conversation.PressApply();
    Run();
    ASSERT_NE(rig.conversation.Phase(), core::TPhase::Ready);
    rig.conversation.PressDefault();
    Run();
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::RestoringDefaults);
    EXPECT_EQ(rig[TControl::Label4].text, "Clear.");
    EXPECT_EQ(rig[TControl::Edit5].tag, 3);

    Faults().ng.clear();
    rig.conversation.PressDefault();
    Run();
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
    EXPECT_EQ(rig[TControl::Label4].text, "");
    EXPECT_EQ(rig.sim->Stored(), rig.sim->Defaults());
}

// ---- writes that fail --------------------------------------------------------------------

struct TWriteFailure {
    std::uint32_t code;
    const char* line;
    bool permissionHint;
};

class FailingWrite : public ::testing::TestWithParam<TWriteFailure> {};

TEST_P(FailingWrite, IsLoggedAndTheStepWaits) {
    TCoreRig rig;
    rig.PlugUnit(kModel, kFirmware);
    ASSERT_TRUE(rig.RunToRest());
    rig.Mark();
    rig.unit->FailWrites = true;
    rig.unit->FailCode = GetParam().code;
    // The platform tells what the code means; the hint follows that, not the number.
    rig.unit->FailKind =
        GetParam().permissionHint ? hid::TErrorKind::AccessDenied : hid::TErrorKind::Other;
    rig.conversation.Choose(TControl::RadioGroup1, 0);
    rig.conversation.PressApply();
    for (int i = 0; i < 100; ++i)
        rig.Step();
    EXPECT_TRUE(rig.LogHas(GetParam().line));
    EXPECT_EQ(rig.LogCount("Permission denied: this user may not write to the transceiver."),
              GetParam().permissionHint ? 1 : 0);
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::WritingAutoSwitching);
    EXPECT_TRUE(rig.SentSinceMark().empty());

    rig.unit->FailWrites = false;
    rig.conversation.PressApply();
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(rig.SentSinceMark().back(), "SAVE");
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FailingWrite,
    ::testing::Values(
        TWriteFailure{0x1F, "WRITE1_ERROR,A device attached to the system is not functioning. (1F)",
                      false},
        TWriteFailure{EACCES, "WRITE1_ERROR,Error 13 (D)", true}),
    [](const ::testing::TestParamInfo<TWriteFailure>& p) {
        return "Code" + std::to_string(p.param.code);
    });

TEST(OversizedReport, IsRefusedWithALineInsteadOfReadPastTheBuffer) {
    sim::Profile profile = sim::MakeProfile(kModel, kFirmware);
    profile.outputReportLength = 4096;
    TCoreRig rig;
    rig.PlugUnit(profile);
    for (int i = 0; i < 50; ++i)
        rig.Step();
    EXPECT_TRUE(rig.LogHas("Error : Output report length 4096 exceeds 2049 bytes; not sent."));
    EXPECT_TRUE(rig.SentSinceMark().empty());
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::SettingClock);
}

// ---- a unit that vanishes, at every command ---------------------------------------------------

class VanishingUnit : public ::testing::TestWithParam<int> {};

TEST_P(VanishingUnit, IsLetGoAndTheNextConnectionStartsAfresh) {
    const int taken = GetParam(); // commands the unit takes before it vanishes
    sim::Profile profile = sim::MakeProfile(kModel, kFirmware);
    profile.faults.vanishAfter = taken;
    TCoreRig rig;
    rig.PlugUnit(profile);
    if (taken >= kConnectCommands) {
        ASSERT_TRUE(rig.RunToRest());
        rig.conversation.Choose(TControl::RadioGroup1, 0);
        rig.conversation.Choose(TControl::RadioGroup5, 1);
        rig.conversation.PressApply();
    }
    ASSERT_TRUE(rig.RunUntil([&] { return !rig.unit; }, 5000));
    EXPECT_FALSE(rig.conversation.Connected());
    EXPECT_FALSE(rig[TControl::Timer1].enabled);
    EXPECT_FALSE(rig[TControl::SpeedButton2].enabled);
    EXPECT_FALSE(rig[TControl::SpeedButton3].enabled);
    EXPECT_TRUE(rig.LogHas("Disconnect device."));
    EXPECT_TRUE(rig.LogHas("Clear initParamReadCnt."));
    EXPECT_TRUE(rig.dialogs.errors.empty());

    rig.sim->MutableFaults().vanishAfter = -1;
    rig.Mark();
    rig.ReplugUnit();
    ASSERT_TRUE(rig.RunToRest());
    ASSERT_EQ(rig.conversation.Phase(), core::TPhase::Ready);
    EXPECT_TRUE(Contains(rig.SentSinceMark(), "GETTMPPARAM")) << "a detached unit is read afresh";
    EXPECT_EQ(rig[TControl::RadioGroup1].itemIndex, 3) << "nothing was saved";
    EXPECT_EQ(rig[TControl::RadioGroup5].itemIndex, 3);
    EXPECT_TRUE(rig[TControl::SpeedButton2].enabled);

    rig.Mark();
    rig.conversation.Choose(TControl::RadioGroup1, 0);
    rig.conversation.PressApply();
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(rig.SentSinceMark().back(), "SAVE");
    EXPECT_TRUE(rig.dialogs.errors.empty());
}

// Every identification command, every write of an Apply run and its "SAVE".
INSTANTIATE_TEST_SUITE_P(Commands, VanishingUnit, ::testing::Range(0, kConnectCommands + 12));

// ---- the information-file upload ---------------------------------------------------------------

struct TUploadFault {
    const char* name;
    void (*set)(sim::Faults&);
    const char* logged; // prefix of the line that reports it
    bool done;          // the unit's next attempt gets through
};

class UploadFault : public ::testing::TestWithParam<TUploadFault> {};

TEST_P(UploadFault, IsRefusedAndTheUnitsNextAttemptDecides) {
    sim::Profile profile = sim::MakeProfile("DW720", "105");
    GetParam().set(profile.faults);
    TCoreRig rig;
    auto& unit = rig.PlugUnit(profile);
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::Closing);
    EXPECT_GE(rig.LogCount(GetParam().logged), 1);
    EXPECT_EQ(rig.LogHas("Upload : Done"), GetParam().done);
    if (GetParam().done) {
        EXPECT_EQ(rig.conversation.UploadedFile(), sim::BuildInfoFile(unit.GetProfile()));
        EXPECT_EQ(rig[TControl::Edit2].text, unit.GetProfile().serial);
    } else {
        EXPECT_EQ(rig[TControl::Edit2].text, "");
    }
    EXPECT_TRUE(rig.dialogs.errors.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UploadFault,
    ::testing::Values(TUploadFault{"WrongPacket", [](sim::Faults& f) { f.wrongPacket = 1; },
                                   "Error : Invalid packet number.", true},
                      TUploadFault{"ShortPacket", [](sim::Faults& f) { f.shortUpload = 100; },
                                   "Error : Short upload packet", true},
                      TUploadFault{"MarkerInTheFile", [](sim::Faults& f) { f.uploadMarker = "OK"; },
                                   "Error : Short upload packet", true},
                      TUploadFault{"WrongSize", [](sim::Faults& f) { f.infoSizeDelta = 5; },
                                   "Error : Verify NG. fileSize:", false}),
    [](const auto& param) { return std::string(param.param.name); });

// ---- start-up ----------------------------------------------------------------------------------

TEST(StartUp, AUnitAttachedBeforeTheToolStartedMustBePluggedInAgain) {
    TCoreRig rig(false);
    rig.hid.Plug(core::TransceiverVendorID, 0x7800, false);
    rig.Start();
    EXPECT_EQ(rig.dialogs.messages,
              std::vector<std::string>{"Sonavelle customize tool|Remove Sonavelle."});
    EXPECT_EQ(rig.view.closes, 1);
    EXPECT_TRUE(rig.LogHas("HID_Open:CheckOut QD device1."));
    EXPECT_TRUE(rig.LogHas("Sonavelle exist."));
}

TEST(StartUp, AUnitPluggedInLaterIsTakenWithoutAWord) {
    TCoreRig rig;
    rig.PlugUnit(kModel, kFirmware);
    EXPECT_TRUE(rig.dialogs.messages.empty());
    EXPECT_EQ(rig.view.closes, 0);
    EXPECT_EQ(rig.conversation.Phase(), core::TPhase::SendingClock);
    EXPECT_TRUE(rig.LogHas("Connect device : Sonavelle Transceiver"));
}

TEST(StartUp, SaysSoWhenPlugInsWillGoUnnoticed) {
    TCoreRig rig(false);
    rig.hid.Notices = false;
    rig.Start();
    EXPECT_TRUE(rig.LogHas(
        "Hot-plug notices are unavailable: a transceiver plugged in later is not noticed."));
}

} // namespace
