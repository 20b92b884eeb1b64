// The example scenarios through the runner in virtual time, compared byte for byte with
// examples/expected (time stamps and the unit's clock value included): what the runner
// prints must not depend on the machine. SV_UPDATE_EXPECTED=1 writes the files anew.
#include "demo/DemoRig.h"
#include "demo/ScenarioRunner.h"
#include "support/Recording.h"
#include "support/WindowWidgets.h"

#include <gtest/gtest.h>

#include <QFile>

using testing_support::TRecordingDialogs;

namespace {

const QString kExamples = QStringLiteral(SV_EXAMPLES_DIR);

struct TRun {
    demo::TRunResult result;
    QByteArray printed; // the log lines, then the control states
    std::optional<sim::ParamSet> stored;
    core::TPhase phase = core::TPhase::Idle;
    bool applyEnabled = false;
};

TRun RunThrough(const demo::TScenario& scenario, demo::TTimeMode time) {
    std::string error;
    const auto profile = demo::ScenarioProfile(scenario, error);
    EXPECT_TRUE(profile) << error;
    if (!profile) return {};
    demo::TDemoRig rig(*profile, std::make_unique<TRecordingDialogs>(), time);
    TRun run;
    run.result = demo::RunScenario(scenario, rig);
    run.printed = demo::PrintedLog(rig.Form()) + demo::PrintedState(rig.Form());
    run.stored = rig.Unit().Inspect([](sim::Transceiver& u) { return u.Stored(); });
    run.phase = rig.Form().Conversation().Phase();
    run.applyEnabled = testing_support::SpeedButton2(&rig.Form())->isEnabled() &&
                       !testing_support::SpeedButton2(&rig.Form())->isHidden();
    return run;
}

demo::TScenario Example(const QString& name) {
    const auto loaded = demo::LoadScenario(
        (kExamples + QLatin1Char('/') + name + QStringLiteral(".scn")).toStdString());
    EXPECT_TRUE(loaded.Scenario) << loaded.Error;
    return loaded.Scenario.value_or(demo::TScenario{});
}

demo::TScenario Parsed(const std::string& text) {
    const auto parsed = demo::ParseScenario(text, ".");
    EXPECT_TRUE(parsed.Scenario) << parsed.Error;
    return parsed.Scenario.value_or(demo::TScenario{});
}

class Examples : public ::testing::TestWithParam<const char*> {};

TEST_P(Examples, RunAsExpected) {
    const QString name = QString::fromLatin1(GetParam());
    const TRun run = RunThrough(Example(name), demo::TTimeMode::Virtual);
    ASSERT_TRUE(run.result.Ok) << run.result.Error.toStdString();

    QFile expectedFile(kExamples + QStringLiteral("/expected/") + name + QStringLiteral(".txt"));
    if (qEnvironmentVariableIsSet("SV_UPDATE_EXPECTED")) {
        ASSERT_TRUE(expectedFile.open(QIODevice::WriteOnly));
        expectedFile.write(run.printed);
        return;
    }
    ASSERT_TRUE(expectedFile.open(QIODevice::ReadOnly)) << expectedFile.fileName().toStdString();
    const QList<QByteArray> expected = expectedFile.readAll().split('\n');
    const QList<QByteArray> got = run.printed.split('\n');
    for (qsizetype i = 0; i < std::min(expected.size(), got.size()); ++i)
        ASSERT_EQ(got[i].toStdString(), expected[i].toStdString()) << "line " << i + 1;
    EXPECT_EQ(got.size(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Examples,
                         ::testing::Values("connect-201036", "apply-201036", "default-201026",
                                           "old-firmware", "ng-on-save"),
                         [](const auto& p) {
                             std::string n = p.param;
                             for (auto& c : n)
                                 if (c == '-') c = '_';
                             return n;
                         });

TEST(ScenarioRunner, SameScenarioGivesTheSameBytesInEveryRun) {
    // Two rigs in one process: nothing carried over from the first run (device numbers,
    // the clock, a reader left behind) may show in the second.
    const auto scenario = Example(QStringLiteral("apply-201036"));
    const TRun first = RunThrough(scenario, demo::TTimeMode::Virtual);
    const TRun second = RunThrough(scenario, demo::TTimeMode::Virtual);
    ASSERT_TRUE(first.result.Ok) << first.result.Error.toStdString();
    EXPECT_EQ(first.printed, second.printed);
}

TEST(ScenarioRunner, RealTimeApplyEndsInTheSameStates) {
    // The demo window's own path: the 1 ms timer, reader threads and the Qt hand-over. How
    // its lines interleave is the scheduler's business; where it ends is not.
    auto scenario = Example(QStringLiteral("apply-201036"));
    const TRun virtualRun = RunThrough(scenario, demo::TTimeMode::Virtual);
    // Real time under a sanitizer on a loaded machine is slow, not wrong: the limits only
    // turn a hang into a failure.
    for (auto& action : scenario.Actions)
        action.TimeoutMs = 120000;
    const TRun real = RunThrough(scenario, demo::TTimeMode::Real);
    ASSERT_TRUE(real.result.Ok) << real.result.Error.toStdString();
    EXPECT_EQ(real.phase, core::TPhase::Ready);
    EXPECT_TRUE(real.applyEnabled);
    ASSERT_TRUE(real.stored);
    EXPECT_EQ(real.stored, virtualRun.stored);
    EXPECT_NE(real.stored, sim::MakeProfile("DW730 TONAL", "201036").stored)
        << "nothing was applied";
}

TEST(ScenarioRunner, ForeignDeviceIsPluggedWithoutBeingTaken) {
    // Another vendor, and the maker's id with a product the tool does not know.
    for (const char* unit : {"unit.vendor_id = 04D8\n", "unit.product_id = 0043\n"}) {
        const TRun quiet =
            RunThrough(Parsed(std::string(unit) + "plug\nwait ms 200\n"), demo::TTimeMode::Virtual);
        EXPECT_TRUE(quiet.result.Ok) << unit << quiet.result.Error.toStdString();
        EXPECT_FALSE(quiet.printed.contains("Connect device")) << unit;

        const TRun waited = RunThrough(Parsed(std::string(unit) + "plug\nwait connected 300\n"),
                                       demo::TTimeMode::Virtual);
        EXPECT_EQ(waited.result.Error.toStdString(),
                  "line 3: timed out after 300 ms waiting for the unit to connect; the "
                  "conversation is at step 0")
            << unit;
    }
    const TRun ours =
        RunThrough(Parsed("plug\nwait connected 1\nwait idle\n"), demo::TTimeMode::Virtual);
    EXPECT_TRUE(ours.result.Ok) << ours.result.Error.toStdString();
}

TEST(ScenarioRunner, UnitThatCannotBeOpenedIsReportedByTheErrorBox) {
    // The device pass stops at a node that cannot be opened; the demo shows the error as the
    // tool does, and the window stays idle without a unit.
    const auto scenario = Parsed("unit.access = none\nplug\nwait ms 50\n");
    std::string error;
    const auto profile = demo::ScenarioProfile(scenario, error);
    ASSERT_TRUE(profile) << error;
    auto dialogs = std::make_unique<TRecordingDialogs>();
    const TRecordingDialogs& shown = *dialogs;
    demo::TDemoRig rig(*profile, std::move(dialogs), demo::TTimeMode::Virtual);
    const auto result = demo::RunScenario(scenario, rig);
    EXPECT_TRUE(result.Ok) << result.Error.toStdString();
    EXPECT_EQ(shown.errors, std::vector<std::string>{"Device cannot be opened"});
    EXPECT_TRUE(shown.messages.empty());
    EXPECT_FALSE(rig.Form().Conversation().Connected());
}

TEST(ScenarioRunner, IdleThatNeverComesNamesTheStepAfterItsTimeOut) {
    // The unit never answers VER: the conversation waits at step 4 for good. The time-out
    // counts in virtual ticks, so the message is the same on any machine.
    const TRun run = RunThrough(Parsed("unit.fault.silent = VER\nplug\nwait idle 2000\n"),
                                demo::TTimeMode::Virtual);
    EXPECT_EQ(run.result.Error.toStdString(),
              "line 3: timed out after 2000 ms waiting for idle; the conversation is at step 4");
}

TEST(ScenarioRunner, ControlsAreCheckedBeforeAnythingRuns) {
    demo::TDemoRig rig(*sim::FindPreset("DW730 TONAL/201036"),
                       std::make_unique<TRecordingDialogs>(), demo::TTimeMode::Virtual);
    const auto unknown =
        demo::RunScenario(Parsed("unit DW730 TONAL/201036\nplug\npress SpeedButton9\n"), rig);
    EXPECT_EQ(unknown.Error.toStdString(), "line 3: no control named 'SpeedButton9'");
    EXPECT_FALSE(rig.Plugged());
    const auto wrongKind = demo::RunScenario(Parsed("plug\nchoose Edit1 0\n"), rig);
    EXPECT_EQ(wrongKind.Error.toStdString(),
              "line 2: 'Edit1' is a TEdit, which this action cannot use");
    EXPECT_FALSE(rig.Plugged());
}

TEST(ScenarioRunner, ClosingTheWindowEndsTheRunThere) {
    demo::TDemoRig rig(*sim::FindPreset("DW730 TONAL/201036"),
                       std::make_unique<TRecordingDialogs>(), demo::TTimeMode::Virtual);
    rig.Form().show();
    const auto result =
        demo::RunScenario(Parsed("plug\nwait idle\npress Exit1\nunplug\nwait ms 100\n"), rig);
    EXPECT_TRUE(result.Ok) << result.Error.toStdString();
    EXPECT_FALSE(rig.Form().isVisible());
    EXPECT_TRUE(rig.Plugged()) << "the lines after Exit1 ran";
}

TEST(ScenarioRunner, UnknownPresetIsReported) {
    demo::TScenario scenario;
    scenario.UnitPreset = "DW999/201036";
    std::string error;
    EXPECT_FALSE(demo::ScenarioProfile(scenario, error));
    EXPECT_EQ(error, "unknown unit preset 'DW999/201036'");
}

} // namespace
