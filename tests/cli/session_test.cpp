// Sessions on simulated units in virtual time, for every listed model on every firmware
// family: every value a unit takes written, kept by the unit and read back as the item the
// window shows chosen; Default; a unit that refuses a write, vanishes or stays silent.
// (What show reads is compared with the real window in window_equivalence_test.cpp.)
#include "CliCases.h"
#include "files/FileText.h"

#include <algorithm>
#include <chrono>
#include "link/PanelPainter.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

using namespace cli_cases;
using cli::TExit;
using cli::TSetting;
using core::TControl;

namespace {

// The settings a unit takes on the command line, with their values.
using TOffer = std::vector<std::pair<TSetting, std::vector<std::string>>>;

TOffer Offered(const core::TConversation& c) {
    TOffer offered;
    for (const cli::TSettingInfo& info : cli::kSettings)
        if (auto values = params::SettingValues(info.id, c.Identity()); !values.empty())
            offered.emplace_back(info.id, std::move(values));
    return offered;
}

// The keys of the unit's store a setting is kept in, as the unit names them.
std::vector<std::string> KeysOf(TSetting setting) {
    switch (setting) {
    case TSetting::Volume:
        return {"RxLevel", "RxOutLevel", "PhoneOutVol"};
    case TSetting::AutoSwitching:
        return {"TxSquelchSw"};
    case TSetting::HandsFree:
        return {"VOXSw", "CsgVoxNzccTh"};
    case TSetting::Channel:
        return {"Led", "Channel", "BaseFreq"};
    case TSetting::Recorder:
        return {"RecordSw"};
    case TSetting::DiveComputer:
        return {"DiveConWarningSw"};
    case TSetting::ReceiveOnly:
        return {"TxModeSw"};
    case TSetting::VoiceGuide:
        return {"VoiceGuideSwitch"};
    case TSetting::AirCheck:
        return {"DivingTimeSignalSw"};
    }
    return {};
}

std::string StoredAs(const sim::ParamSet& set, TSetting setting) {
    std::string kept;
    for (const std::string& key : KeysOf(setting))
        kept += key + "=" + set.Get(key).value_or("-") + " ";
    return kept;
}

// The value the panel holds is the item a person sees chosen in the window.
void ExpectChosenInTheWindow(const core::TConversation& c, TSetting setting,
                             const std::string& value) {
    core::TPanelPainter painter;
    painter.Show(c);
    const core::TPanel& panel = painter.Panel();
    if (setting == TSetting::AirCheck) {
        EXPECT_EQ(panel[TControl::CheckBoxDivingTimeSignalEnable].checked, value != "off");
        if (value == "off") return;
        const auto items = AirCheckItems(value);
        const auto& first = panel[TControl::ComboBoxDivingTimeSignal1];
        const auto& later = panel[TControl::ComboBoxDivingTimeSignal2];
        ASSERT_GE(first.itemIndex, 0);
        ASSERT_GE(later.itemIndex, 0);
        EXPECT_EQ(first.items.at(static_cast<std::size_t>(first.itemIndex)), items.first);
        EXPECT_EQ(later.items.at(static_cast<std::size_t>(later.itemIndex)), items.later);
        return;
    }
    const auto& choice = panel[cli::Info(setting).choice];
    ASSERT_GE(choice.itemIndex, 0) << value;
    const std::string& item = choice.items.at(static_cast<std::size_t>(choice.itemIndex));
    EXPECT_TRUE(IsWindowItem(setting, value, item)) << value << " shown as the item " << item;
}

class EveryPreset : public ::testing::TestWithParam<std::string> {
  protected:
    static void Connect(TBenchRun& run) {
        const cli::TOutcome outcome = run.session.Connect(5000);
        ASSERT_TRUE(outcome.ok()) << outcome.message;
    }
    // What the window lets a person do with this unit: press Apply and Default.
    static bool WindowAdjustable(const TBenchRun& run) {
        return run.session.SettingsShown() && params::Adjustable(run.c().Identity());
    }
    // One setting chosen other than the unit has it.
    static std::vector<cli::TRequest> AChange(const core::TConversation& c) {
        for (const auto& [setting, values] : Offered(c)) {
            const auto now = cli::ChosenValue(c, setting);
            for (const std::string& v : values)
                if (v != now) return Requests({{setting, v}});
        }
        ADD_FAILURE() << "nothing to change";
        return {};
    }

    const sim::Profile profile = Preset(GetParam());
};

TEST_P(EveryPreset, SetWritesEveryValueTheUnitTakesAndTheUnitKeepsIt) {
    TBenchRun run(profile);
    Connect(run);
    const core::TConversation& c = run.c();
    if (!WindowAdjustable(run)) {
        const cli::TOutcome refused = run.session.Apply(Requests({{TSetting::Volume, "1"}}));
        EXPECT_EQ(refused.exit, TExit::Usage);
        EXPECT_EQ(refused.message,
                  "this unit (" + cli::UnitName(c.Identity()) + ") has no settings to change");
        EXPECT_EQ(run.Stored(), profile.stored);
        return;
    }
    const TOffer offered = Offered(c);
    std::size_t rounds = 0;
    for (const auto& offer : offered)
        rounds = std::max(rounds, offer.second.size());
    // What the unit keeps for each value, and the values seen.
    std::map<TSetting, std::map<std::string, std::string>> kept;

    // Each round chooses the next value of every setting at once.
    for (std::size_t round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<std::pair<TSetting, std::string>> choices;
        for (const auto& [setting, values] : offered)
            choices.emplace_back(setting, values[(round + 1) % values.size()]);
        std::map<TSetting, std::optional<std::string>> before;
        for (const auto& [setting, value] : choices)
            before[setting] = cli::ChosenValue(c, setting);
        const cli::TOutcome applied = run.session.Apply(Requests(choices));
        ASSERT_EQ(applied.exit, TExit::Done) << applied.message;
        const std::optional<sim::ParamSet> stored = run.Stored();
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored, run.Working()) << "saved";

        const cli::TOutcome read = run.session.ReadBack();
        ASSERT_TRUE(read.ok()) << read.message;
        for (const auto& [setting, value] : choices) {
            SCOPED_TRACE(std::string(cli::Info(setting).name) + "=" + value);
            EXPECT_EQ(cli::ChosenValue(c, setting), value);
            ExpectChosenInTheWindow(c, setting, value);
            // A value chosen as the unit already shows it is no change: the unit keeps its
            // own (a channel S shown as B stays S).
            if (before[setting] == value) continue;
            const std::string now = StoredAs(*stored, setting);
            const auto [at, added] = kept[setting].emplace(value, now);
            EXPECT_EQ(at->second, now) << "the same value is kept the same way";
        }
    }
    // Different values are kept differently: none is lost to another.
    for (const auto& [setting, values] : offered) {
        std::set<std::string> distinct;
        for (const auto& [value, stored] : kept[setting])
            distinct.insert(stored);
        EXPECT_EQ(kept[setting].size(), values.size()) << cli::Info(setting).name;
        EXPECT_EQ(distinct.size(), values.size()) << cli::Info(setting).name;
    }
    EXPECT_EQ(run.messages.Text(), "");
}

TEST_P(EveryPreset, DefaultRestoresTheFactorySet) {
    TBenchRun run(profile);
    Connect(run);
    const core::TConversation& c = run.c();
    if (!WindowAdjustable(run)) {
        const cli::TOutcome refused = run.session.Default();
        EXPECT_EQ(refused.exit, TExit::Usage);
        EXPECT_EQ(refused.message,
                  "this unit (" + cli::UnitName(c.Identity()) + ") has no settings to restore");
        EXPECT_EQ(run.Stored(), profile.stored);
        return;
    }
    const auto shown = [&] {
        std::map<TSetting, std::optional<std::string>> values;
        for (const auto& offer : Offered(c))
            values[offer.first] = cli::ChosenValue(c, offer.first);
        return values;
    };
    const auto before = shown();
    const cli::TOutcome restored = run.session.Default();
    ASSERT_EQ(restored.exit, TExit::Done) << restored.message;
    EXPECT_EQ(restored.message, profile.serial + ": factory settings restored");
    EXPECT_EQ(run.Stored(), profile.defaults);
    const auto after = shown();
    EXPECT_NE(after, before) << "a preset unit holds other settings than the factory's";

    // What the panel shows after Default is what the erased unit reads back as.
    ASSERT_TRUE(run.session.ReadBack().ok());
    EXPECT_EQ(shown(), after);
}

INSTANTIATE_TEST_SUITE_P(Presets, EveryPreset, ::testing::ValuesIn(Presets()), PresetTestName);

using FaultyUnit = EveryPreset;

TEST_P(FaultyUnit, AWriteTheUnitRefusesEndsTheRunAndSaysWhatWasWritten) {
    sim::Profile refusing = profile;
    refusing.faults.ng = {"SPAR RecordSw"}; // Apply writes it on every unit
    TBenchRun run(refusing);
    Connect(run);
    if (!WindowAdjustable(run)) GTEST_SKIP() << "the window changes nothing on this unit";

    const params::TIdentity identity = run.c().Identity();
    const cli::TOutcome outcome = run.session.Apply(AChange(run.c()));
    EXPECT_EQ(outcome.exit, TExit::Failed);
    EXPECT_TRUE(outcome.message.starts_with("Apply: the unit answered 'NG' to 'SPAR RecordSw "))
        << outcome.message;
    // Only the settings this unit has are named.
    EXPECT_TRUE(outcome.message.ends_with("'; " + WrittenLine(identity, TSetting::Recorder) +
                                          "; not saved"))
        << outcome.message;
    EXPECT_EQ(run.Stored(), profile.stored);
}

TEST_P(FaultyUnit, AUnitThatVanishesDuringApplyIsNoUnitAndSaysWhatWasWritten) {
    TBenchRun run(profile);
    Connect(run);
    if (!WindowAdjustable(run)) GTEST_SKIP() << "the window changes nothing on this unit";
    // The third write of the run (the hands-free switch) does not arrive.
    const int taken = static_cast<int>(run.CommandsTaken()) + 2;
    run.bench.Unit().Inspect(
        [&](sim::Transceiver& u) { return u.MutableFaults().vanishAfter = taken; });

    const params::TIdentity identity = run.c().Identity();
    const cli::TOutcome outcome = run.session.Apply(AChange(run.c()));
    EXPECT_EQ(outcome.exit, TExit::NoUnit);
    EXPECT_EQ(outcome.message, "the unit went away during Apply: " +
                                   WrittenLine(identity, TSetting::HandsFree) + "; not saved");
    EXPECT_FALSE(run.bench.UnitIn());
    EXPECT_EQ(run.Stored(), profile.stored);
}

INSTANTIATE_TEST_SUITE_P(Presets, FaultyUnit, ::testing::ValuesIn(PresetsShowingSettings()),
                         PresetTestName);

// ---- one unit, every point of a run --------------------------------------------------------

const std::string kTonal = "DW730 TONAL/201036";

struct TVanish {
    int writesTaken; // of the run, before the unit vanishes
    const char* written;
    const char* notWritten;
    const char* saved;
};

void PrintTo(const TVanish& v, std::ostream* os) {
    *os << "vanishes after " << v.writesTaken << " write(s)";
}

class VanishingUnit : public ::testing::TestWithParam<TVanish> {};

// A setting counts as written once every one of its commands was taken: the hands-free
// switch without its sensitivity, or a channel without its base frequency, is not.
TEST_P(VanishingUnit, TheWrittenSettingsAreThoseWhoseEveryCommandWasTaken) {
    TBenchRun run(Preset(kTonal));
    ASSERT_TRUE(run.session.Connect(5000).ok());
    const int taken = static_cast<int>(run.CommandsTaken()) + GetParam().writesTaken;
    run.bench.Unit().Inspect(
        [&](sim::Transceiver& u) { return u.MutableFaults().vanishAfter = taken; });

    const cli::TOutcome outcome = run.session.Apply(Requests({{TSetting::Volume, "1"}}));
    EXPECT_EQ(outcome.exit, TExit::NoUnit);
    EXPECT_EQ(outcome.message, std::string("the unit went away during Apply: written: ") +
                                   GetParam().written + "; not written: " + GetParam().notWritten +
                                   "; " + GetParam().saved);
}

// The run: volume, auto-switching, hands-free (two commands), channel (three), recorder,
// dive computer, voice guide, air check, "SAVE".
INSTANTIATE_TEST_SUITE_P(
    Writes, VanishingUnit,
    ::testing::Values(
        TVanish{0, "none", "volume, hands-free, dive-computer, voice-guide, air-check",
                "not saved"},
        TVanish{1, "volume", "hands-free, dive-computer, voice-guide, air-check", "not saved"},
        TVanish{3, "volume", "hands-free, dive-computer, voice-guide, air-check", "not saved"},
        TVanish{4, "volume, hands-free", "dive-computer, voice-guide, air-check", "not saved"},
        TVanish{6, "volume, hands-free", "dive-computer, voice-guide, air-check", "not saved"},
        TVanish{7, "volume, hands-free", "dive-computer, voice-guide, air-check", "not saved"},
        TVanish{10, "volume, hands-free, dive-computer, voice-guide", "air-check", "not saved"},
        TVanish{11, "volume, hands-free, dive-computer, voice-guide, air-check", "none",
                "not saved"}));

TEST(VanishingUnit, DuringDefaultTheEraseIsNotConfirmed) {
    TBenchRun run(Preset(kTonal));
    ASSERT_TRUE(run.session.Connect(5000).ok());
    const int taken = static_cast<int>(run.CommandsTaken());
    run.bench.Unit().Inspect(
        [&](sim::Transceiver& u) { return u.MutableFaults().vanishAfter = taken; });
    const cli::TOutcome outcome = run.session.Default();
    EXPECT_EQ(outcome.exit, TExit::NoUnit);
    EXPECT_EQ(outcome.message, "the unit went away during Default: the erase was not confirmed");
}

TEST(VanishingUnit, DuringIdentificationIsNoUnit) {
    sim::Profile profile = Preset(kTonal);
    profile.faults.vanishAfter = 3;
    TBenchRun run(profile);
    const cli::TOutcome outcome = run.session.Connect(5000);
    EXPECT_EQ(outcome.exit, TExit::NoUnit);
    EXPECT_EQ(outcome.message, "the unit went away during identification");
}

TEST(RefusingUnit, AnUnconfirmedEraseIsAFailedDefault) {
    sim::Profile profile = Preset(kTonal);
    profile.faults.ng = {"CLEAR"};
    TBenchRun run(profile);
    ASSERT_TRUE(run.session.Connect(5000).ok());
    const cli::TOutcome outcome = run.session.Default();
    EXPECT_EQ(outcome.exit, TExit::Failed);
    EXPECT_EQ(outcome.message, "Default: the unit answered 'NG' to 'CLEAR'; the erase was not "
                               "confirmed");
    EXPECT_EQ(run.Stored(), profile.stored);
}

// Only a unit that said "NG" to the save surely kept nothing; an answer cut short, garbled or
// lost (SilentUnit) may come from a unit that saved; a replug would read the settings back.
struct TSaveAnswer {
    std::set<std::string> sim::Faults::*fault;
    const char* said;
    bool kept; // by the simulated unit
};

void PrintTo(const TSaveAnswer& a, std::ostream* os) {
    *os << a.said;
}

class SaveAnswer : public ::testing::TestWithParam<TSaveAnswer> {};

TEST_P(SaveAnswer, IsNotSavedOnlyWhenRefusedAndOtherwiseNotConfirmed) {
    sim::Profile profile = Preset(kTonal);
    profile.faults.*GetParam().fault = {"SAVE"};
    TBenchRun run(profile);
    ASSERT_TRUE(run.session.Connect(5000).ok());
    const cli::TOutcome outcome = run.session.Apply(Requests({{TSetting::Volume, "1"}}));
    EXPECT_EQ(outcome.exit, TExit::Failed);
    EXPECT_TRUE(outcome.message.ends_with("'SAVE'; written: volume, hands-free, dive-computer, "
                                          "voice-guide, air-check; not written: none; " +
                                          std::string(GetParam().said)))
        << outcome.message;
    EXPECT_EQ(run.Stored() == run.Working(), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SaveAnswer,
    ::testing::Values(TSaveAnswer{&sim::Faults::ng, "not saved", false},
                      TSaveAnswer{&sim::Faults::split, "save not confirmed", true},
                      TSaveAnswer{&sim::Faults::garbage, "save not confirmed", true}));

// ---- a silent unit: the time-out counts in virtual time ----------------------------------------

struct TSilence {
    const char* command;
    bool atIdentification;
    const char* message;
};

class SilentUnit : public ::testing::TestWithParam<TSilence> {};

TEST_P(SilentUnit, FailsAfterTheTimeOutTheSameWayEveryRun) {
    const auto run = [&] {
        sim::Profile profile = Preset(kTonal);
        profile.faults.silent = {GetParam().command};
        auto bench = std::make_unique<TBenchRun>(profile, 1, 2000);
        cli::TOutcome outcome = bench->session.Connect(5000);
        if (!GetParam().atIdentification) {
            EXPECT_TRUE(outcome.ok()) << outcome.message;
            outcome = bench->session.Apply(Requests({{TSetting::Volume, "1"}}));
        }
        return std::make_pair(outcome, bench->session.LogLines());
    };
    const auto [outcome, log] = run();
    EXPECT_EQ(outcome.exit, TExit::Failed);
    EXPECT_EQ(outcome.message, GetParam().message);
    // Virtual time: the second run logs the same lines at the same moments.
    const auto [again, log2] = run();
    EXPECT_EQ(again.message, outcome.message);
    EXPECT_EQ(log2, log);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SilentUnit,
    ::testing::Values(
        TSilence{"VER", true, "identification: no answer to 'VER' within 2 s (last reply 'OK')"},
        TSilence{"GPAR", true,
                 "identification: no answer to 'GPAR'; the unit's settings were not read"},
        TSilence{"SPAR VOXsw", false,
                 "Apply: no answer to 'SPAR VOXsw 1' within 2 s (last reply 'OK'); written: "
                 "volume; not written: hands-free, dive-computer, voice-guide, air-check; not "
                 "saved"},
        TSilence{"SAVE", false,
                 "Apply: no answer to 'SAVE' within 2 s (last reply 'OK'); written: volume, "
                 "hands-free, dive-computer, voice-guide, air-check; not written: none; save "
                 "not confirmed"}),
    [](const auto& param) {
        std::string name = param.param.command;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

// ---- another device during a run that writes ---------------------------------------------------

// A bench where another device is plugged in once the unit has taken `writes` commands that
// write: a foreign one (vendor 0x1209) or a second transceiver.
class TBusyBench final : public cli::TSimBench {
  public:
    TBusyBench(const sim::Profile& profile, std::size_t writes, std::uint16_t vendorId)
        : TSimBench(profile, 1), writes_(writes), vendorId_(vendorId) {}
    void Pass() override {
        TSimBench::Pass();
        if (plugged_ || !UnitIn() || WritesTo(*this) < writes_) return;
        plugged_ = true;
        PlugDevice(vendorId_, 0x7802);
    }
    bool plugged_ = false;

  private:
    std::size_t writes_;
    std::uint16_t vendorId_;
};

struct TBusy {
    const char* name;
    bool apply; // else Default
    std::size_t writes;
    std::uint16_t vendorId;
};

void PrintTo(const TBusy& t, std::ostream* out) {
    *out << t.name;
}

class DeviceChangeDuringRun : public ::testing::TestWithParam<TBusy> {};

TEST_P(DeviceChangeDuringRun, DoesNotInterruptIt) {
    const TBusy& t = GetParam();
    TCapture messages;
    TBusyBench bench(Preset(kTonal), t.writes, t.vendorId);
    cli::TSessionOptions options;
    options.messages = messages.File();
    options.keepLog = true;
    options.timeoutMs = 5000;
    cli::TSession session(bench, options);
    ASSERT_TRUE(session.Connect(3000).ok());
    const cli::TOutcome outcome =
        t.apply ? session.Apply(Requests({{TSetting::Volume, "1"}})) : session.Default();
    EXPECT_TRUE(bench.plugged_);
    EXPECT_TRUE(outcome.ok()) << outcome.message;
    const auto& run = session.Conversation().LastRun();
    EXPECT_TRUE(t.apply ? run.saved : run.erased);
    const auto& log = session.LogLines();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) {
                                return line.ends_with("the device change is handled once the "
                                                      "write run has ended.");
                            }),
              1);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, DeviceChangeDuringRun,
    ::testing::Values(TBusy{"ForeignDeviceAfterTheFirstWriteOfApply", true, 1, 0x1209},
                      TBusy{"ForeignDeviceAfterTheThirdWriteOfApply", true, 3, 0x1209},
                      TBusy{"TransceiverAfterTheSecondWriteOfApply", true, 2,
                            core::TransceiverVendorID},
                      TBusy{"ForeignDeviceDuringDefault", false, 1, 0x1209}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- plugging in -------------------------------------------------------------------------------

TEST(EarlyUnit, IsNotTakenUntilUnpluggedAndPluggedInAgain) {
    TCapture messages;
    cli::TSimBench bench(Preset(kTonal), 2);
    bench.PlugNextUnit(); // attached before the start
    cli::TSessionOptions options;
    options.messages = messages.File();
    options.keepLog = true;
    cli::TSession session(bench, options);

    const cli::TOutcome waited = session.Connect(3000);
    EXPECT_EQ(waited.exit, TExit::NoUnit);
    EXPECT_EQ(waited.message, "no unit was plugged in within 3 s (plug it in after starting "
                              "the command)");
    EXPECT_EQ(messages.Lines(),
              std::vector<std::string>{"Remove Sonavelle. A unit attached before the start is "
                                       "not taken: unplug it and plug it in again."});
    EXPECT_EQ(bench.Unit().Inspect([](sim::Transceiver& u) { return u.Received().size(); }), 0u)
        << "nothing is sent to it";

    bench.UnplugUnit();
    const cli::TOutcome connected = session.Connect(3000);
    ASSERT_TRUE(connected.ok()) << connected.message;
    EXPECT_EQ(bench.UnitsPlugged(), 2);
    EXPECT_EQ(session.Conversation().Serial(), "SV0000000002");
    EXPECT_TRUE(session.SettingsShown());
    EXPECT_EQ(messages.Lines().size(), 1u);
}

TEST(NoUnit, IsSaidAfterTheWait) {
    TBenchRun run(Preset(kTonal), 0);
    const cli::TOutcome outcome = run.session.Connect(1500);
    EXPECT_EQ(outcome.exit, TExit::NoUnit);
    EXPECT_EQ(outcome.message,
              "no unit was plugged in within 2 s (plug it in after starting the command)");
}

TEST(NoUnit, ThatIsAttachedButCannotBeOpenedIsSaidWithTheReason) {
    sim::Profile none = Preset(kTonal);
    none.access = sim::Access::None;
    TBenchRun run(none);
    const cli::TOutcome outcome = run.session.Connect(1500);
    EXPECT_EQ(outcome.exit, TExit::NoUnit);
    EXPECT_EQ(outcome.message, "no unit could be taken within 2 s: sim:hid#1 is attached but "
                               "cannot be opened (The system cannot find the file specified.)");
}

TEST(NoUnit, TheReasonADeviceCannotBeOpenedHasTheUdevHintWhenAccessWasRefused) {
    cli::TSimBench bench(Preset(kTonal), 0);
    hid::TUnopenedDevice device;
    device.Code = hid::sim::kErrAccessDenied;
    EXPECT_EQ(cli::UnopenedReason(bench.Controller(), device),
              "cannot be opened (Access is denied.). " + std::string(core::kUdevRuleHint));
}

TEST(Stop, EndsTheWaitForAUnit) {
    TBenchRun run(Preset(kTonal), 0);
    cli::RequestStop();
    const cli::TOutcome outcome = run.session.Connect(-1);
    cli::ClearStopRequest();
    EXPECT_EQ(outcome.exit, TExit::NoUnit);
    EXPECT_EQ(outcome.message, "stopped before a unit was plugged in");
}

// The log file is flushed when a wait ends without its goal, not after each line: whatever
// ends the wait, every line logged so far is in the file.
struct TWaitEnd {
    const char* name;
    int stopAfterTicks;  // Ctrl-C then; 0: none
    std::int64_t limitMs; // the wait gives up then; -1: never
};

class LogFile : public ::testing::TestWithParam<TWaitEnd> {};

TEST_P(LogFile, HoldsEveryLineOfTheUnitInProgressWhenAWaitEnds) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("sv-session-log-" + std::string(GetParam().name) + "-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::FILE* log = std::fopen(path.string().c_str(), "w");
    ASSERT_NE(log, nullptr);
    TCapture messages;
    cli::TSimBench bench(Preset(kTonal), 1);
    cli::TSessionOptions options;
    options.messages = messages.File();
    options.keepLog = true;
    options.log = log;
    cli::TSession session(bench, options);
    ASSERT_TRUE(session.Connect(3000).ok());
    session.Conversation().PressReconnect(); // a read-back in progress
    int ticks = 0;
    EXPECT_FALSE(session.RunUntil(
        [&] {
            if (++ticks == GetParam().stopAfterTicks) cli::RequestStop();
            return false;
        },
        GetParam().limitMs));
    cli::ClearStopRequest();

    std::string expected;
    for (const std::string& line : session.LogLines())
        expected += line + '\n';
    // Read beside the session's own stream, which is still open.
    EXPECT_EQ(files::ReadFileText(path).text.value_or("(unreadable)"), expected);
    std::fclose(log);
    std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Session, LogFile,
                         ::testing::Values(TWaitEnd{"StopAtOnce", 1, -1},
                                           TWaitEnd{"StopInTheReadBack", 300, -1},
                                           TWaitEnd{"TimeOut", 0, 200}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
