// The batch of several units at once over the Linux HID services: transceivers on hidraw nodes
// emulated by umockdev, each answered by a simulated unit of its own, plugged in together or
// one after another; one whose node cannot be opened among them; another maker's device
// plugged in and out while the units are served.
#include "EmulatedTransceiver.h"
#include "UmockdevPreload.h"
#include "cli/Batch.h"
#include "cli/Bench.h"
#include "cli/Requests.h"
#include "store/ServiceRecord.h"
#include "support/ThreadWait.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using testing_support::TEmulatedTransceiver;

namespace {

constexpr std::int64_t kWaitMs = testing_support::kThreadWaitMs;

std::int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The system's services with each node's replies pumped in on every pass, one at a time once
// the unit's conversation has the one before, and a clock that stands still while a reply is
// on its way to any unit (as the single unit's bench in linux_cli_test.cpp). A unit the batch
// is done with is pulled out, as the person at the bench is told to.
class TNodesBench final : public cli::TSystemBench {
  public:
    TNodesBench() : TSystemBench(hid::CreateSystemServices()), start_(TSystemBench::Now()) {}

    void Add(TEmulatedTransceiver& node) { nodes_.push_back(&node); }
    // The node's replies wait in its unit until Release(), whatever the machine's pace: units
    // are kept in step with each other this way, never by timing. The clock goes on for the
    // others meanwhile (well within the held unit's time-outs).
    void Hold(const TEmulatedTransceiver& node) { held_.insert(&node); }
    void Release() { held_.clear(); }
    // A report reached the conversation of the unit at port (a "<<" line of its log).
    void Received(const std::string& port) { ++received_[port]; }

    core::TTimePoint Now() const override {
        const std::int64_t ms = quietNs_ / 1000000;
        return {start_.utcMs + ms, start_.wallMs + ms};
    }

    void Pass() override {
        for (TEmulatedTransceiver* node : nodes_)
            if (!held_.count(node) && CaughtUp(*node)) node->Deliver();
        TSystemBench::Pass();
        const std::int64_t now = SteadyNs();
        const bool quiet = std::all_of(nodes_.begin(), nodes_.end(), [&](TEmulatedTransceiver* n) {
            return n->Gone() || held_.count(n) || (!n->Pending() && CaughtUp(*n));
        });
        if (quiet) lastQuietNs_ = now;
        // A reply that stays unread this long is lost, not late: the clock goes on.
        if (quiet || now - lastQuietNs_ > kLostNs) quietNs_ += now - lastNs_;
        lastNs_ = now;
    }

    void UnplugUnitAt(const std::string& path) override {
        for (TEmulatedTransceiver* node : nodes_)
            if (node->Node() == path && !node->Gone()) node->Unplug();
    }

  private:
    static constexpr std::int64_t kLostNs = kWaitMs * 1000000;

    bool CaughtUp(TEmulatedTransceiver& node) { return received_[node.Node()] >= node.Delivered(); }

    const core::TTimePoint start_;
    std::vector<TEmulatedTransceiver*> nodes_;
    std::set<const TEmulatedTransceiver*> held_;
    std::map<std::string, int> received_;
    std::int64_t quietNs_ = 0;
    std::int64_t lastNs_ = SteadyNs();
    std::int64_t lastQuietNs_ = lastNs_;
};

class TRecordingFront final : public cli::TBatchFront {
  public:
    explicit TRecordingFront(TNodesBench& bench) : bench_(bench) {}
    void Say(const std::string& line) override { said.push_back(line); }
    void UnitLogged(const cli::TServedUnit& unit, const std::string& line) override {
        if (line.compare(22, 2, "<<") == 0) bench_.Received(unit.port);
    }
    std::vector<std::string> said;

  private:
    TNodesBench& bench_;
};

const sim::Profile kProfile = sim::MakeProfile("DW730 TONAL", "201036");

sim::Profile NthUnit(int n) {
    sim::Profile p = kProfile;
    p.serial = cli::NthSerial(p.serial, n);
    return p;
}

class LinuxBatchTest : public ::testing::Test {
  protected:
    // In this order: the testbed and its nodes before the services' udev monitor and after
    // it; the batch lets go of the nodes before the services go.
    UMockdevTestbed* bed = umockdev_testbed_new();
    std::vector<std::unique_ptr<TEmulatedTransceiver>> nodes;
    QTemporaryDir data; // backups and the service record
    const QByteArray dataHomeBefore = qgetenv("XDG_DATA_HOME");
    std::unique_ptr<TNodesBench> bench;
    std::unique_ptr<TRecordingFront> front;
    cli::TCommandOptions options;
    std::unique_ptr<cli::TBatchRun> run;

    ~LinuxBatchTest() override {
        run.reset();
        bench.reset();
        nodes.clear();
        g_object_unref(bed);
        qputenv("XDG_DATA_HOME", dataHomeBefore);
    }

    // count units on hidraw0, 1, ...; the batch starts and makes its first pass with none in.
    void Start(int count) {
        ASSERT_TRUE(data.isValid());
        ASSERT_TRUE(qputenv("XDG_DATA_HOME", data.path().toUtf8()));
        for (int i = 0; i < count; ++i)
            nodes.push_back(std::make_unique<TEmulatedTransceiver>(NthUnit(i + 1), i, bed));
        bench = std::make_unique<TNodesBench>();
        ASSERT_TRUE(bench->Available());
        for (const auto& node : nodes)
            bench->Add(*node);
        front = std::make_unique<TRecordingFront>(*bench);
        options.session.timeoutMs = kWaitMs;
        const cli::TRequests requests = cli::ParseAssignments({"volume=2", "voice-guide=high"});
        ASSERT_TRUE(requests) << requests.error;
        run = std::make_unique<cli::TBatchRun>(*bench, requests.requests,
                                               cli::TBatchOptions{0, 0, true}, options, *front);
        run->Step();
    }

    // Steps the batch until done holds; false after a limit that only turns a hang into a
    // failure.
    bool RunUntil(const std::function<bool()>& done) {
        const auto limit =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(4 * kWaitMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > limit) return false;
            run->Step();
        }
        return true;
    }

    int Finished() const {
        return static_cast<int>(std::count_if(run->Units().begin(), run->Units().end(),
                                              [](const auto& unit) { return unit->Finished(); }));
    }
    const cli::TServedUnit* UnitAt(const std::string& port) const {
        for (const auto& unit : run->Units())
            if (unit->port == port) return unit.get();
        return nullptr;
    }
    bool InStep(int i, cli::TUnitStep step) const {
        const cli::TServedUnit* unit = UnitAt(nodes.at(static_cast<std::size_t>(i))->Node());
        return unit && unit->step == step;
    }
    bool Said(const std::string& text) const {
        return std::any_of(front->said.begin(), front->said.end(),
                           [&](const std::string& line) { return line.find(text) != line.npos; });
    }

    std::string Story() const {
        std::string text = "said:\n";
        for (const std::string& line : front->said)
            text += "  " + line + "\n";
        for (const auto& unit : run->Units()) {
            text += unit->Name() + " " + cli::StepName(unit->step) + ": " + unit->line + "\n";
            const std::size_t from = unit->log.size() > 12 ? unit->log.size() - 12 : 0;
            for (std::size_t i = from; i < unit->log.size(); ++i)
                text += "    " + unit->log[i].substr(0, 160) + "\n";
        }
        return text;
    }

    // The unit on node i was served on its own: its own serial number and port in its OK
    // line, the requests in its stored set, one record line of its own, saved after a backup.
    void ExpectServed(int i) {
        const TEmulatedTransceiver& node = *nodes.at(static_cast<std::size_t>(i));
        const std::string serial = NthUnit(i + 1).serial;
        const cli::TServedUnit* unit = UnitAt(node.Node());
        ASSERT_NE(unit, nullptr) << node.Node() << "\n" << Story();
        EXPECT_TRUE(unit->Ok()) << unit->line << "\n" << Story();
        EXPECT_EQ(unit->serial, serial);
        EXPECT_EQ(unit->line.rfind(serial + "\tDW730 TONAL\t201036\t", 0), 0u) << unit->line;
        EXPECT_EQ(unit->line.substr(unit->line.rfind('\t') + 1), node.Node());
        // Each request changed its own parameter of this unit's stored set, and nothing else.
        const sim::ParamSet before = *sim::Transceiver(NthUnit(i + 1)).Stored();
        const sim::ParamSet after = nodes.at(static_cast<std::size_t>(i))->Stored();
        std::vector<std::string> changed;
        for (const auto& [key, value] : after.Entries())
            if (before.Get(key) != value) changed.push_back(key);
        EXPECT_EQ(changed, (std::vector<std::string>{"PhoneOutVol", "VoiceGuideSwitch"}))
            << node.Node();
        const store::TRecord record = store::ReadRecord(store::RecordPath());
        const auto entries = store::OfSerial(record.entries, serial);
        ASSERT_EQ(entries.size(), 1u) << serial;
        EXPECT_EQ(entries[0].port, node.Node());
        EXPECT_EQ(entries[0].result, "saved");
        EXPECT_TRUE(entries[0].backup && !entries[0].backup->empty());
    }
};

// Plugged in together (as on a hub), or each one once the one before is being written (held
// there until the last is).
struct TPlugPlan {
    const char* name;
    int units;
    bool together;
};

class LinuxBatchPlugTest : public LinuxBatchTest,
                           public ::testing::WithParamInterface<TPlugPlan> {};

TEST_P(LinuxBatchPlugTest, ServesEveryUnitWithItsOwnResult) {
    const TPlugPlan plan = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(plan.units));
    for (int i = 0; i < plan.units; ++i) {
        nodes[static_cast<std::size_t>(i)]->Plug();
        if (plan.together) continue;
        ASSERT_TRUE(RunUntil([&] { return InStep(i, cli::TUnitStep::Writing); })) << Story();
        bench->Hold(*nodes[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(Finished(), 0);
    bench->Release();
    ASSERT_TRUE(RunUntil([&] { return Finished() == plan.units && run->InProgress() == 0; }))
        << Story();
    for (int i = 0; i < plan.units; ++i)
        ExpectServed(i);
    EXPECT_EQ(run->Summary(), (std::vector<std::string>{std::to_string(plan.units) +
                                                        " unit(s): " + std::to_string(plan.units) +
                                                        " OK, 0 failed"}));
    EXPECT_EQ(run->ExitCode(), 0);
    // Each is pulled out when told: nothing is left on the bench.
    EXPECT_TRUE(std::all_of(nodes.begin(), nodes.end(), [](const auto& n) { return n->Gone(); }));
    ASSERT_TRUE(RunUntil([&] {
        return std::all_of(run->Units().begin(), run->Units().end(), [](const auto& unit) {
            return unit->step == cli::TUnitStep::Unplugged;
        });
    })) << Story();
    EXPECT_FALSE(Said("error")) << Story();
}

INSTANTIATE_TEST_SUITE_P(Plans, LinuxBatchPlugTest,
                         ::testing::Values(TPlugPlan{"TwoTogether", 2, true},
                                           TPlugPlan{"FourTogether", 4, true},
                                           TPlugPlan{"ThreeOneAfterAnother", 3, false}),
                         [](const auto& plan) { return std::string(plan.param.name); });

// Linux opens a node for queries without access to it (the identity comes from sysfs): the
// unit is listed, passed over while a unit that can be written to waits, then taken and
// failed by its first write with the reason, before anything reaches it.
TEST_F(LinuxBatchTest, AUnitWhoseNodeCannotBeOpenedIsNamedWithTheReasonAndTheOthersAreServed) {
    ASSERT_NO_FATAL_FAILURE(Start(4));
    for (int i : {0, 1, 3})
        nodes[static_cast<std::size_t>(i)]->Plug();
    nodes[2]->PlugWithoutAccess();
    ASSERT_TRUE(RunUntil([&] { return Finished() == 4 && run->InProgress() == 0; })) << Story();
    for (int i : {0, 1, 3})
        ExpectServed(i);
    const cli::TServedUnit* refused = UnitAt("/dev/hidraw2");
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->number, 4) << Story();
    EXPECT_EQ(refused->line, "(not read)\t-\t-\tFAILED: the unit at /dev/hidraw2 cannot be written "
                             "to: Permission denied: this user may not write to the transceiver. "
                             "Install the udev rule 70-sonavelle.rules (see README) and plug the "
                             "unit in again.\t/dev/hidraw2");
    EXPECT_EQ(nodes[2]->Inspect([](const sim::Transceiver& unit) { return unit.Received(); }),
              std::vector<std::string>{});
    EXPECT_EQ(run->Summary(),
              (std::vector<std::string>{"4 unit(s): 3 OK, 1 failed (1 without a serial number)",
                                        "failed: (not read) at /dev/hidraw2"}));
    EXPECT_EQ(run->ExitCode(), 1);
}

TEST_F(LinuxBatchTest, AnotherDevicePluggedInAndOutDuringTheRunDisturbsNoUnit) {
    ASSERT_NO_FATAL_FAILURE(Start(3));
    for (const auto& node : nodes)
        node->Plug();
    // Each held in Apply as soon as it is there (Apply takes a step a command: none passes
    // unseen), so that the mouse comes while every unit is written.
    ASSERT_TRUE(RunUntil([&] {
        int held = 0;
        for (int i = 0; i < 3; ++i) {
            if (!InStep(i, cli::TUnitStep::Writing)) continue;
            bench->Hold(*nodes[static_cast<std::size_t>(i)]);
            ++held;
        }
        return held == 3;
    })) << Story();
    const auto listed = [&](const std::string& path) {
        const auto& devices = bench->Controller().Devices();
        return std::any_of(devices.begin(), devices.end(), [&](const hid::THidDevice* device) {
            return device->PluggedIn() && device->PnPInfo().DevicePath == path;
        });
    };
    nodes[0]->PlugMouse(7, "1209", "0001");
    ASSERT_TRUE(RunUntil([&] { return listed("/dev/hidraw7"); })) << Story();
    bench->Release();
    nodes[0]->UnplugMouse(7, "1209", "0001");
    ASSERT_TRUE(RunUntil([&] { return !listed("/dev/hidraw7"); })) << Story();
    ASSERT_TRUE(RunUntil([&] { return Finished() == 3 && run->InProgress() == 0; })) << Story();
    for (int i = 0; i < 3; ++i)
        ExpectServed(i);
    EXPECT_EQ(run->Summary(), (std::vector<std::string>{"3 unit(s): 3 OK, 0 failed"}));
    EXPECT_FALSE(Said("error")) << Story();
    EXPECT_FALSE(Said("not served")) << Story();
}

} // namespace

int main(int argc, char** argv) {
    RunWithUmockdevPreload(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
