// A batch of several units at once: each unit is told what a batch of it alone tells it, a
// unit's fault stays its own, the limits on how many are served hold, Ctrl-C finishes or
// stops what is under way, and units that cannot be told apart or opened are handled.
#include "CliCases.h"
#include "cli/Batch.h"
#include "store/ServiceRecord.h"

#include <QDir>

#include <algorithm>
#include <cctype>
#include <functional>

using namespace cli_cases;
using cli::TSetting;

namespace {

// The commands a simulated unit received, the clock's value taken out of "RTC SET".
std::vector<std::string> Received(hid::sim::TTransceiverModel& unit) {
    std::vector<std::string> commands =
        unit.Inspect([](sim::Transceiver& u) { return u.Received(); });
    for (std::string& c : commands)
        if (c.starts_with("RTC SET ")) c = "RTC SET";
    return commands;
}

std::vector<sim::Profile> Units(const std::vector<std::string>& presets) {
    std::vector<sim::Profile> units;
    for (const std::string& name : presets)
        units.push_back(Preset(name));
    return units;
}

// A bench of simulated units on a plan that calls back after each millisecond (to plug a
// mouse in, or to press Ctrl-C when a unit has received a command).
class TPlannedBench : public cli::TSimBench {
  public:
    TPlannedBench(std::vector<sim::Profile> units, std::int64_t everyMs)
        : TSimBench(std::move(units), everyMs) {}
    ~TPlannedBench() override { cli::ClearStopRequest(); }
    void Pass() override {
        TSimBench::Pass();
        if (after) after(*this);
        // A batch that does not end is stopped, as twice Ctrl-C would, and fails the test.
        if (++ms_ == kLimitMs) {
            ADD_FAILURE() << "the batch did not end within " << kLimitMs << " ms";
            cli::RequestStop();
            cli::RequestStop();
        }
    }
    // Whether unit i (from 0) has been plugged in and received a command beginning so.
    bool Got(std::size_t i, const std::string& command) {
        if (static_cast<int>(i) >= UnitsPlugged()) return false;
        const auto all = Received(Unit(i));
        return std::any_of(all.begin(), all.end(),
                           [&](const std::string& c) { return c.starts_with(command); });
    }
    std::function<void(TPlannedBench&)> after;

  private:
    static constexpr int kLimitMs = 300000;
    int ms_ = 0;
};

const std::vector<cli::TRequest> kVolume3 = Requests({{TSetting::Volume, "3"}});

// ---- every unit is told what it would be told alone --------------------------------------------

TEST(ParallelBatch, EachUnitGetsTheCommandsOfABatchOfItAloneWhileAMouseComesAndGoes) {
    const std::vector<std::string> presets{"DW730 TONAL/201036", "PX510/201036", "DW720 QZ/201033",
                                           "DW720 KEL/201029"};
    TPrinted p;
    TPlannedBench bench(Units(presets), 0);
    std::uint32_t mouse = 0;
    bench.after = [&](TPlannedBench& b) {
        if (!mouse && b.Got(0, "SPAR")) mouse = b.PlugDevice(0x046D, 0xC077);
        if (mouse && b.Got(0, "SAVE")) {
            b.UnplugDevice(mouse);
            mouse = ~0u;
        }
    };
    EXPECT_EQ(cli::RunParallelBatch(bench, kVolume3, {4, 0}, p.Options(5000)), 0) << p.err.Text();
    ASSERT_EQ(mouse, ~0u) << "the mouse came and went during the run";
    EXPECT_EQ(p.out.Lines().back(), "4 unit(s): 4 OK, 0 failed");
    for (std::size_t i = 0; i < presets.size(); ++i) {
        TPrinted alone;
        cli::TSimBench one(Preset(presets[i]), 1);
        ASSERT_EQ(cli::RunBatch(one, kVolume3, 1, alone.Options(5000)), 0) << alone.err.Text();
        EXPECT_EQ(Received(bench.Unit(i)), Received(one.Unit())) << presets[i];
    }
}

// ---- a unit's fault is its own ------------------------------------------------------------------

struct TShape {
    const char* name;
    std::int64_t everyMs; // 0: plugged in together
    int parallel;
};

void PrintTo(const TShape& s, std::ostream* out) {
    *out << s.name;
}

class ParallelBatchFaults : public ::testing::TestWithParam<TShape> {};

TEST_P(ParallelBatchFaults, FailOnlyTheirUnitAndEveryRunIsRecorded) {
    TDataHome home;
    std::vector<sim::Profile> units = Units(std::vector<std::string>(4, "DW730 TONAL/201036"));
    units[1].faults.vanishAfter = 9; // seven to identify, then two writes
    units[2].faults.ng = {"SAVE"};
    TPrinted p;
    TPlannedBench bench(units, GetParam().everyMs);
    EXPECT_EQ(cli::RunParallelBatch(bench, kVolume3, {0, GetParam().parallel}, p.Options(5000)), 1);
    std::vector<std::string> lines = p.out.Lines();
    ASSERT_EQ(lines.size(), 6u) << p.out.Text();
    const std::vector<std::string> summary(lines.end() - 2, lines.end());
    lines.resize(4);
    std::sort(lines.begin(), lines.end());
    const std::string unit = "\tDW730 TONAL\t201036\t";
    const std::string notWritten = "not written: hands-free, dive-computer, voice-guide, air-check";
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "SV0000000001" + unit + "OK\tsim:hid#1",
                         "SV0000000002" + unit +
                             "FAILED: the unit went away during Apply: written: volume; " +
                             notWritten + "; not saved\tsim:hid#2",
                         "SV0000000003" + unit +
                             "FAILED: Apply: the unit answered 'NG' to 'SAVE'; written: volume, "
                             "hands-free, dive-computer, voice-guide, air-check; not written: "
                             "none; not saved\tsim:hid#3",
                         "SV0000000004" + unit + "OK\tsim:hid#4",
                     }));
    EXPECT_EQ(summary, (std::vector<std::string>{
                           "4 unit(s): 2 OK, 2 failed",
                           "failed: SV0000000002 at sim:hid#2, SV0000000003 at sim:hid#3"}));
    // Each unit still plugged in is to be unplugged; the one that went away is not.
    std::vector<std::string> unplug;
    for (const std::string& line : p.Said())
        if (line.starts_with("sonavelle-cli: unplug unit ")) unplug.push_back(line.substr(27));
    std::sort(unplug.begin(), unplug.end());
    EXPECT_EQ(unplug,
              (std::vector<std::string>{"SV0000000001 at sim:hid#1", "SV0000000003 at sim:hid#3",
                                        "SV0000000004 at sim:hid#4"}));
    // Each unit's run has its backup and its line, with its port.
    const store::TRecord record = store::ReadRecord(home.Record());
    std::vector<std::string> recorded;
    for (const store::TRecordEntry& e : record.entries)
        recorded.push_back(e.serial.value_or("?") + " " + e.result + " " + e.port.value_or("?"));
    std::sort(recorded.begin(), recorded.end());
    EXPECT_EQ(recorded, (std::vector<std::string>{"SV0000000001 saved sim:hid#1",
                                                  "SV0000000002 write failed sim:hid#2",
                                                  "SV0000000003 save not confirmed sim:hid#3",
                                                  "SV0000000004 saved sim:hid#4"}));
    for (const char* serial : {"SV0000000001", "SV0000000002", "SV0000000003", "SV0000000004"})
        EXPECT_EQ(QDir(QString::fromStdString(home.Backups() + "/" + serial))
                      .entryList({QStringLiteral("*.json")}, QDir::Files)
                      .size(),
                  1)
            << serial;
}

INSTANTIATE_TEST_SUITE_P(Benches, ParallelBatchFaults,
                         ::testing::Values(TShape{"Together", 0, 0},
                                           TShape{"OneEvery300Ms", 300, 0},
                                           TShape{"TwoAtATime", 0, 2}),
                         [](const auto& row) { return std::string(row.param.name); });

// ---- how many are served, and at once -----------------------------------------------------------

class TWatched final : public cli::TBatchFront {
  public:
    void UnitChanged(const cli::TServedUnit&) override { Count(); }
    void UnitFinished(const cli::TServedUnit&) override { Count(); }
    const cli::TBatchRun* run = nullptr;
    int mostAtOnce = 0;

  private:
    void Count() {
        if (run) mostAtOnce = std::max(mostAtOnce, run->InProgress());
    }
};

struct TLimits {
    int count, parallel;
    int served, mostAtOnce;
};

void PrintTo(const TLimits& l, std::ostream* out) {
    *out << "count " << l.count << ", parallel " << l.parallel;
}

class ParallelBatchLimits : public ::testing::TestWithParam<TLimits> {};

TEST_P(ParallelBatchLimits, ServeNoMoreUnitsThanAskedNorMoreAtOnce) {
    const TLimits& l = GetParam();
    TPlannedBench bench(Units(std::vector<std::string>(4, "PX510/201036")), 0);
    TPrinted p;
    const cli::TCommandOptions options = p.Options(5000);
    TWatched watched;
    cli::TBatchRun run(bench, kVolume3, {l.count, l.parallel}, options, watched);
    watched.run = &run;
    for (int ms = 0; !run.Over() && ms < 60000; ++ms)
        run.Step();
    ASSERT_TRUE(run.Over());
    EXPECT_EQ(run.Units().size(), static_cast<std::size_t>(l.served));
    EXPECT_EQ(watched.mostAtOnce, l.mostAtOnce);
    EXPECT_EQ(run.ExitCode(), 0) << cli::Join(run.Summary(), "\n");
    // A unit not taken was told nothing.
    for (std::size_t i = static_cast<std::size_t>(l.served); i < 4; ++i)
        EXPECT_TRUE(Received(bench.Unit(i)).empty()) << "unit " << i + 1;
}

INSTANTIATE_TEST_SUITE_P(Limits, ParallelBatchLimits,
                         ::testing::Values(TLimits{0, 0, 4, 4}, TLimits{0, 2, 4, 2},
                                           TLimits{0, 1, 4, 1}, TLimits{3, 0, 3, 3}),
                         [](const auto& row) {
                             return "Count" + std::to_string(row.param.count) + "Parallel" +
                                    std::to_string(row.param.parallel);
                         });

// ---- Ctrl-C --------------------------------------------------------------------------------

struct TPresses {
    const char* name;
    std::int64_t everyMs;
    std::vector<std::pair<std::size_t, const char*>> at; // a press when unit i got a command
    int exit;
    std::vector<std::string> summary;
};

void PrintTo(const TPresses& p, std::ostream* out) {
    *out << p.name;
}

class ParallelBatchCtrlC : public ::testing::TestWithParam<TPresses> {
  protected:
    void SetUp() override { cli::ClearStopRequest(); }
    void TearDown() override { cli::ClearStopRequest(); }
};

TEST_P(ParallelBatchCtrlC, FinishesTheUnitsInProgressAtTheFirstAndStopsThemAtTheSecond) {
    const TPresses& t = GetParam();
    TPlannedBench bench(Units(std::vector<std::string>(3, "DW730 TONAL/201036")), t.everyMs);
    std::size_t next = 0;
    bench.after = [&](TPlannedBench& b) {
        if (next < t.at.size() && b.Got(t.at[next].first, t.at[next].second)) {
            ++next;
            cli::RequestStop();
        }
    };
    TPrinted p;
    EXPECT_EQ(cli::RunParallelBatch(bench, kVolume3, {}, p.Options(5000)), t.exit);
    const std::vector<std::string> lines = p.out.Lines();
    ASSERT_GE(lines.size(), t.summary.size());
    EXPECT_EQ(std::vector<std::string>(lines.end() - static_cast<std::ptrdiff_t>(t.summary.size()),
                                       lines.end()),
              t.summary);
    const std::vector<std::string> said = p.Said();
    const bool finishing = std::any_of(said.begin(), said.end(), [](const std::string& s) {
        return s.find("in progress; Ctrl-C again stops at once") != std::string::npos;
    });
    EXPECT_TRUE(finishing) << p.err.Text();
}

const std::string kWrittenNone = "written: none; not written: volume, hands-free, dive-computer, "
                                 "voice-guide, air-check; not saved";

INSTANTIATE_TEST_SUITE_P(
    Presses, ParallelBatchCtrlC,
    ::testing::Values(
        // The others are plugged in after the press: they are not taken.
        TPresses{
            "OnceWhileTheFirstIsWritten", 3000, {{0, "SPAR"}}, 0, {"1 unit(s): 1 OK, 0 failed"}},
        // All three are in progress: all are finished.
        TPresses{"OnceWithThreeInProgress", 0, {{0, "SPAR"}}, 0, {"3 unit(s): 3 OK, 0 failed"}},
        TPresses{"TwiceBeforeAnyWrite",
                 3000,
                 {{0, "GSER"}, {0, "GPAR"}},
                 1,
                 {"1 unit(s): 0 OK, 1 failed",
                  "not finished: SV0000000001 at sim:hid#1 (nothing written)"}},
        TPresses{"TwiceDuringTheWrite",
                 0,
                 {{0, "GSER"}, {0, "SPAR PhoneOutVol"}},
                 1,
                 {"3 unit(s): 0 OK, 3 failed", "not finished: SV0000000001 at sim:hid#1 (" +
                                                   kWrittenNone + "), SV0000000002 at sim:hid#2 (" +
                                                   kWrittenNone + "), SV0000000003 at sim:hid#3 (" +
                                                   kWrittenNone + ")"}}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- units that cannot be told apart, or opened
// --------------------------------------------------

TEST(ParallelBatch, TwoUnitsOfOneSerialNumberAreBothServedAndToldApartByPort) {
    TDataHome home;
    std::vector<sim::Profile> units = Units({"PX510/201036", "PX510/201036"});
    for (sim::Profile& unit : units)
        unit.serial = "SVTWIN"; // no digits: not counted up
    TPrinted p;
    TPlannedBench bench(units, 0);
    EXPECT_EQ(cli::RunParallelBatch(bench, kVolume3, {}, p.Options(5000)), 0) << p.err.Text();
    std::vector<std::string> ports;
    for (const store::TRecordEntry& e : store::ReadRecord(home.Record()).entries) {
        EXPECT_EQ(e.serial, "SVTWIN");
        ports.push_back(e.port.value_or("none"));
    }
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(ports, (std::vector<std::string>{"sim:hid#1", "sim:hid#2"}));
    EXPECT_EQ(QDir(QString::fromStdString(home.Backups() + "/SVTWIN"))
                  .entryList({QStringLiteral("*.json")}, QDir::Files)
                  .size(),
              2);
}

TEST(ParallelBatch, AUnitThatCannotBeOpenedIsNamedWithTheReasonAndTheOthersAreServed) {
    std::vector<sim::Profile> units = Units(std::vector<std::string>(4, "DW730 TONAL/201036"));
    units[2].access = sim::Access::None;
    TPrinted p;
    TPlannedBench bench(units, 0);
    EXPECT_EQ(cli::RunParallelBatch(bench, kVolume3, {}, p.Options(5000)), 1);
    const std::string named =
        "sim:hid#3 (cannot be opened (The system cannot find the file specified.))";
    const std::vector<std::string> lines = p.out.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "3 unit(s): 3 OK, 0 failed");
    EXPECT_EQ(lines.back(), "not served: " + named);
    const std::vector<std::string> said = p.Said();
    EXPECT_EQ(std::count(said.begin(), said.end(), "sonavelle-cli: not served: " + named), 1)
        << p.err.Text();
}

} // namespace

namespace {

TEST(ParallelBatch, OneBenchServesABatchAfterOneStoppedWithTheStoppedRunRecordedAtOnce) {
    TDataHome home;
    TPlannedBench bench(Units(std::vector<std::string>(2, "DW730 TONAL/201036")), 0);
    TPrinted p;
    const cli::TCommandOptions options = p.Options(5000);
    cli::TBatchFront quiet;
    {
        cli::TBatchRun first(bench, kVolume3, {1, 0}, options, quiet);
        for (int ms = 0; ms < 60000 && !bench.Got(0, "SPAR PhoneOutVol"); ++ms)
            first.Step();
        first.StopNow();
        ASSERT_TRUE(first.Over());
        const auto entries = store::ReadRecord(home.Record()).entries;
        ASSERT_EQ(entries.size(), 1u) << "recorded before the batch goes";
        EXPECT_EQ(entries.front().result, "not finished");
    }
    // The second unit, plugged in all along, is taken as the next batch starts.
    cli::TBatchRun second(bench, kVolume3, {1, 0}, options, quiet);
    for (int ms = 0; ms < 60000 && !second.Over(); ++ms)
        second.Step();
    ASSERT_EQ(second.Units().size(), 1u);
    EXPECT_EQ(second.Units().front()->line, "SV0000000002\tDW730 TONAL\t201036\tOK\tsim:hid#2");
}

} // namespace
