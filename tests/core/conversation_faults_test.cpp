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
using enum core::TPhase;

namespace {

// The last command sent; empty when none was (a fault must fail the test, not crash it).
std::string Last(const std::vector<std::string>& sent) {
    return sent.empty() ? std::string() : sent.back();
}

constexpr const char* kModel = "DW730 TONAL";
constexpr const char* kFirmware = "201036";
// RTC SET, VER, KIND, LANGUAGE, GSER, GETTMPPARAM, GPAR
constexpr int kConnectCommands = 7;

bool Contains(const std::vector<std::string>& all, const std::string& one) {
    return std::find(all.begin(), all.end(), one) != all.end();
}

// ---- identification and read-back replies the tool cannot use ---------------------------

enum class TFault { Ng, Garbage, Silent };
using enum TFault;

struct TBadReply {
    TFault fault;
    const char* command;
    core::TPhase restsAt; // Closing: the conversation ends
    const char* serial;   // Edit2 afterwards
};

class BadReply : public ::testing::TestWithParam<TBadReply> {};

TEST_P(BadReply, WaitsOrEndsAsTheStepSaysAndLogsEveryReport) {
    const TBadReply& p = GetParam();
    sim::Profile profile = sim::MakeProfile(kModel, kFirmware);
    (p.fault == TFault::Ng        ? profile.faults.ng
     : p.fault == TFault::Garbage ? profile.faults.garbage
                                  : profile.faults.silent)
        .insert(p.command);
    TCoreRig rig;
    rig.PlugUnit(profile);
    rig.Steps(3000);

    EXPECT_EQ(rig.conversation.Phase(), p.restsAt);
    EXPECT_EQ(rig.conversation.Connected(), p.restsAt != Closing);
    const auto sent = rig.SentSinceMark();
    if (p.restsAt != Ready) {
        EXPECT_TRUE(Last(sent).starts_with(p.command)) << "nothing after it";
    }
    EXPECT_EQ(rig[TControl::Edit2].text, p.serial);
    const auto received =
        std::count_if(rig.log.lines.begin(), rig.log.lines.end(),
                      [](const TLogLine& l) { return l.direction == core::kLogReceived; });
    EXPECT_EQ(received, rig.delivered);
    EXPECT_TRUE(rig.dialogs.errors.empty());
}

std::string FaultName(TFault fault) {
    return fault == TFault::Ng ? "Ng_" : fault == TFault::Garbage ? "Garbage_" : "Silent_";
}

const std::string kSerial = sim::MakeProfile(kModel, kFirmware).serial;

INSTANTIATE_TEST_SUITE_P(
    Steps, BadReply,
    ::testing::Values(
        TBadReply{Ng, "RTC SET", SettingClock, ""}, TBadReply{Ng, "VER", Closing, ""},
        TBadReply{Ng, "KIND", Closing, ""}, TBadReply{Ng, "LANGUAGE", Closing, ""},
        TBadReply{Ng, "GSER", Ready, "Not found"},
        TBadReply{Ng, "GETTMPPARAM", ReadingDefaults, kSerial.c_str()},
        TBadReply{Garbage, "RTC SET", SettingClock, ""}, TBadReply{Garbage, "VER", Closing, ""},
        TBadReply{Garbage, "KIND", Closing, ""}, TBadReply{Garbage, "GSER", Ready, ""},
        TBadReply{Garbage, "GETTMPPARAM", ReadingDefaults, kSerial.c_str()},
        // No current values at all: the read-back still ends, a second after it asked.
        TBadReply{Silent, "GPAR", Ready, kSerial.c_str()}),
    [](const auto& param) {
        std::string name = FaultName(param.param.fault) + std::string(param.param.command);
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST(BadReply, GarbledCurrentValuesLeaveTheirChoicesOff) {
    sim::Profile profile = sim::MakeProfile(kModel, kFirmware);
    profile.faults.garbage = {"GPAR"};
    TCoreRig rig;
    rig.PlugUnit(profile);
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(rig.conversation.Phase(), Ready);
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
    core::TPhase phase;
    const char* reply;
};

void PrintTo(const TUnreadable& u, std::ostream* os) {
    PrintTo(u.phase, os);
    *os << ": " << ::testing::PrintToString(std::string(u.reply));
}

class UnreadableValue : public ::testing::TestWithParam<TUnreadable> {};

TEST_P(UnreadableValue, IsReportedAndTheReadBackEndsAsWithout) {
    TCoreRig clean;
    clean.PlugUnit(kModel, kFirmware);
    ASSERT_TRUE(clean.RunToRest());

    TCoreRig rig;
    rig.PlugUnit(kModel, kFirmware);
    ASSERT_TRUE(rig.RunUntil([&] { return rig.conversation.Phase() == GetParam().phase; }));
    rig.Step(); // the first reply of the read-back is under way
    ASSERT_TRUE(rig.Deliver(LineReport(GetParam().reply)));
    ASSERT_TRUE(rig.RunToRest());

    EXPECT_EQ(rig.dialogs.errors.size(), 1u);
    EXPECT_EQ(rig.conversation.Phase(), Ready);
    EXPECT_EQ(testing_support::Peer(rig.conversation).InitialParams(),
              testing_support::Peer(clean.conversation).InitialParams());
    for (TControl c : params::AllControls())
        EXPECT_EQ(rig[c], clean[c]) << ControlName(c);
}

INSTANTIATE_TEST_SUITE_P(Replies, UnreadableValue,
                         ::testing::Values(TUnreadable{ReadingDefaults, "OK PhoneOutVol loud"},
                                           TUnreadable{ReadingDefaults, "OK CsgVoxNzccTh"},
                                           TUnreadable{ReadingCurrent, "OK CsgVoxNzccTh nan"},
                                           TUnreadable{ReadingCurrent, "OK RxLevel"}));

// A counted reply of the default set that cannot be read leaves the read-back one short: it
// waits there ("Reconnect" is the way out), and the error box alone tells of it.
TEST(UnreadableValue, OfTheDefaultSetLeavesTheReadBackWaiting) {
    sim::Profile profile = sim::MakeProfile(kModel, kFirmware);
    profile.defaults->Set("CsgVoxNzccTh", "0,6");
    TCoreRig rig;
    rig.PlugUnit(profile);
    ASSERT_FALSE(rig.RunToRest(3000));
    EXPECT_EQ(rig.conversation.Phase(), ReadingDefaults);
    EXPECT_EQ(rig.dialogs.errors,
              std::vector<std::string>{"'0,6' is not a valid floating point value"});
    for (const auto& line : rig.LogTexts())
        EXPECT_EQ(line.find("not a valid"), std::string::npos) << line;
    EXPECT_EQ(rig[TControl::LabelParamCnt].text, "ParameterCount=12");
    EXPECT_EQ(rig[TControl::ProgressBar1].position, 20 + 40 * 12 / 13);
}

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
        ASSERT_EQ(rig.conversation.Phase(), Ready);
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
        rig.Choose(TControl::RadioGroup1, 0);
    }
    sim::Faults& Faults() { return rig.sim->MutableFaults(); }
    void Run() {
        rig.RunUntil([&] { return rig.conversation.Phase() == Ready; }, 2000);
    }

    TCoreRig rig;
};

// Each write of the run and the step that waits for its answer.
// clang-format off
constexpr std::pair<const char*, core::TPhase> kWrites[] = {
    {"SPAR PhoneOutVol", WritingAutoSwitching},   {"SPAR TxSquelchSw", WritingHandsFree},
    {"SPAR VOXsw", WritingSensitivity},           {"SPAR CsgVoxNzccTh", WritingLed},
    {"SPAR Led", WritingChannel},                 {"SPAR Channel", WritingBaseFrequency},
    {"SPAR BaseFreq", WritingRecorder},           {"SPAR RecordSw", WritingDiveComputer},
    {"SPAR DiveConWarningSw", WritingVoiceGuide}, {"SPAR VoiceGuideSwitch", WritingAirCheck},
    {"SPAR DivingTimeSignalSw", SendingSave}};
// clang-format on

TEST_F(RefusingUnit, ARefusedWriteHoldsTheRunUntilApplyIsPressedAgain) {
    for (auto [command, waitsAt] : kWrites) {
        for (auto faults : {&sim::Faults::ng, &sim::Faults::garbage, &sim::Faults::silent}) {
            SCOPED_TRACE(command);
            (Faults().*faults).insert(command);
            rig.Mark();
            rig.conversation.PressApply();
            Run();
            EXPECT_EQ(rig.conversation.Phase(), waitsAt);
            EXPECT_TRUE(Last(rig.SentSinceMark()).starts_with(command)) << "nothing after it";
            EXPECT_EQ(rig[TControl::Label4].text, "Updating.");
            EXPECT_FALSE(rig[TControl::File1].enabled);
            EXPECT_EQ(rig[TControl::Edit5].tag, 3) << "nothing was saved";
            (Faults().*faults).clear();
        }
    }
    rig.Mark();
    rig.conversation.PressApply();
    Run();
    EXPECT_EQ(rig.conversation.Phase(), Ready);
    EXPECT_EQ(Last(rig.SentSinceMark()), "SAVE");
    EXPECT_EQ(rig[TControl::Edit5].tag, 0);
    EXPECT_TRUE(rig.dialogs.errors.empty());
}

TEST_F(RefusingUnit, AnUnconfirmedSaveEndsTheRunWithoutClaimingTheNewValues) {
    Faults().ng = {"SAVE"};
    rig.conversation.PressApply();
    Run();
    EXPECT_EQ(rig.conversation.Phase(), Ready);
    EXPECT_TRUE(rig[TControl::SpeedButton2].enabled);
    EXPECT_EQ(rig[TControl::Edit5].tag, 3);
    EXPECT_EQ(rig[TControl::Edit5].text, "4");
    EXPECT_EQ(rig[TControl::Label4].text, "");
    EXPECT_EQ(rig[TControl::ProgressBar1].position, 100);
    // The change is still there to be applied.
    Faults().ng.clear();
    rig.conversation.PressApply();
    EXPECT_EQ(rig[TControl::SpeedButton2].tag, 1);
}

TEST_F(RefusingUnit, DefaultReplacesAHeldRunAndWaitsForTheErasure) {
    Faults().ng = {"SPAR TxSquelchSw", "CLEAR"};
    rig.conversation.PressApply();
    Run();
    ASSERT_NE(rig.conversation.Phase(), Ready);
    rig.conversation.PressDefault();
    Run();
    EXPECT_EQ(rig.conversation.Phase(), RestoringDefaults);
    EXPECT_EQ(rig[TControl::Label4].text, "Clear.");
    EXPECT_EQ(rig[TControl::Edit5].tag, 3);

    Faults().ng.clear();
    rig.conversation.PressDefault();
    Run();
    EXPECT_EQ(rig.conversation.Phase(), Ready);
    EXPECT_EQ(rig[TControl::Label4].text, "");
    EXPECT_EQ(rig.sim->Stored(), rig.sim->Defaults());
}

TEST_F(RefusingUnit, ReconnectLeavesAHeldRun) {
    Faults().ng = {"SPAR Led"};
    rig.conversation.PressApply();
    Run();
    ASSERT_EQ(rig.conversation.Phase(), WritingChannel);
    rig.conversation.PressReconnect();
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(rig.conversation.Phase(), Ready);
    EXPECT_TRUE(rig[TControl::File1].enabled);
    EXPECT_EQ(rig[TControl::Edit5].text, "1"); // written before the refusal, not saved
}

// ---- the word each step waits for --------------------------------------------------------

struct TReplyWord {
    const char* silenced; // the unit leaves this command to the test
    core::TPhase at;      // the step that waits for the answer
    const char* reply;
    bool taken;
};

void PrintTo(const TReplyWord& r, std::ostream* os) {
    *os << r.silenced << " answered " << ::testing::PrintToString(std::string(r.reply));
}

class ReplyWord : public ::testing::TestWithParam<TReplyWord> {};

TEST_P(ReplyWord, OnlyTheStepsOwnWordMovesItOn) {
    const TReplyWord& p = GetParam();
    sim::Profile profile = sim::MakeProfile(kModel, kFirmware);
    profile.faults.silent = {p.silenced};
    TCoreRig rig;
    core::TConversation& c = rig.conversation;
    rig.PlugUnit(profile);
    if (p.at != SettingClock) {
        ASSERT_TRUE(rig.RunToRest());
        rig.Choose(TControl::RadioGroup1, 0);
        if (p.at == RestoringDefaults)
            c.PressDefault();
        else
            c.PressApply();
    }
    ASSERT_TRUE(rig.RunUntil([&] { return c.Phase() == p.at && rig.sim->PendingReports() == 0; }));
    const std::size_t sent = rig.sim->Received().size();
    rig.Answer(p.reply);
    if (!p.taken) {
        EXPECT_EQ(rig.sim->Received().size(), sent) << "nothing is sent again";
    }
    // The save ends the run whatever the answer; only its word shows the new values.
    if (p.at == Saving) {
        EXPECT_EQ(c.Phase(), Ready);
        EXPECT_EQ(rig[TControl::Edit5].tag, p.taken ? 0 : 3);
    } else {
        const core::TPhase next = p.at == RestoringDefaults ? Saving : WritingHandsFree;
        EXPECT_EQ(c.Phase(), !p.taken ? p.at : p.at == SettingClock ? ReadingVersion : next);
    }
}

// clang-format off
const TReplyWord kReplyWords[] = {
    {"RTC SET", SettingClock, "NG", false},         {"RTC SET", SettingClock, "garbage", false},
    {"RTC SET", SettingClock, "RTC OK", true},
    {"SPAR", WritingAutoSwitching, "NG OK", false}, {"SPAR", WritingAutoSwitching, " OK", false},
    {"SPAR", WritingAutoSwitching, "xOK", false},   {"SPAR", WritingAutoSwitching, "ok", false},
    {"SPAR", WritingAutoSwitching, "O", false},     {"SPAR", WritingAutoSwitching, "OK", true},
    {"SPAR", WritingAutoSwitching, "OKAY", true},
    {"SAVE", Saving, "NG not saved", false},        {"SAVE", Saving, "OK Parameter saved", false},
    {"SAVE", Saving, "Parameter save", false},      {"SAVE", Saving, "Parameter saved.", true},
    {"CLEAR", RestoringDefaults, "OK 1234", false}, {"CLEAR", RestoringDefaults, "NG", false},
    {"CLEAR", RestoringDefaults, "NG Successfully nothing", false},
    {"CLEAR", RestoringDefaults, "OK done. Successfully erased", true}};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Replies, ReplyWord, ::testing::ValuesIn(kReplyWords));

// A version reply of no known length: the conversation waits, asking nothing more.
TEST(OddVersion, LeavesTheConversationWaiting) {
    for (const char* reply : {"OK 2010", "OK 2010201", "OK "}) {
        SCOPED_TRACE(reply);
        TCoreRig rig;
        TFakeHidDevice* unit = rig.PlugBare();
        rig.Step(); // "RTC SET"
        rig.Answer("OK");
        rig.Answer(reply);
        rig.Step();
        EXPECT_EQ(rig.conversation.Phase(), ReadingVersion);
        EXPECT_EQ(unit->Sent.size(), 2u);
        EXPECT_TRUE(rig.conversation.Connected());
    }
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
    rig.Choose(TControl::RadioGroup1, 0);
    rig.conversation.PressApply();
    rig.Steps(100);
    EXPECT_TRUE(rig.LogHas(GetParam().line));
    EXPECT_EQ(rig.LogCount("Permission denied: this user may not write to the transceiver."),
              GetParam().permissionHint ? 1 : 0);
    EXPECT_EQ(rig.conversation.Phase(), WritingAutoSwitching);
    EXPECT_TRUE(rig.SentSinceMark().empty());

    rig.unit->FailWrites = false;
    rig.conversation.PressApply();
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(Last(rig.SentSinceMark()), "SAVE");
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
    rig.Steps(50);
    EXPECT_TRUE(rig.LogHas("Error : Output report length 4096 exceeds 2049 bytes; not sent."));
    EXPECT_TRUE(rig.SentSinceMark().empty());
    EXPECT_EQ(rig.conversation.Phase(), SettingClock);
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
        rig.Choose(TControl::RadioGroup1, 0);
        rig.Choose(TControl::RadioGroup5, 1);
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
    ASSERT_EQ(rig.conversation.Phase(), Ready);
    EXPECT_TRUE(Contains(rig.SentSinceMark(), "GETTMPPARAM")) << "a detached unit is read afresh";
    EXPECT_EQ(rig[TControl::RadioGroup1].itemIndex, 3) << "nothing was saved";
    EXPECT_EQ(rig[TControl::RadioGroup5].itemIndex, 3);
    EXPECT_TRUE(rig[TControl::SpeedButton2].enabled);

    rig.Mark();
    rig.Choose(TControl::RadioGroup1, 0);
    rig.conversation.PressApply();
    ASSERT_TRUE(rig.RunToRest());
    EXPECT_EQ(Last(rig.SentSinceMark()), "SAVE");
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
    EXPECT_EQ(rig.conversation.Phase(), Closing);
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
    EXPECT_EQ(rig.conversation.Phase(), SendingClock);
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
