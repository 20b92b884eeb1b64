// The command line's session over the Linux HID services: a transceiver node emulated by
// umockdev, answered by the simulated unit and plugged after start-up, through connection,
// identification and read-back, Apply, Default, a unit pulled out in the middle of Apply,
// and the device list.
#include "EmulatedTransceiver.h"
#include "UmockdevPreload.h"
#include "cli/Bench.h"
#include "cli/Commands.h"
#include "cli/Session.h"
#include "support/ThreadWait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using testing_support::TEmulatedTransceiver;

namespace {

using params::TControl;

constexpr std::int64_t kWaitMs = testing_support::kThreadWaitMs;

std::int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The system's services with the node's replies pumped in on every pass, one at a time once
// the session has the one before, and a clock that stands still while a reply is on its
// way. The read-back ends one second after the last reply: a session held up on a loaded
// machine must not end it while replies wait in the unit or unread in the node.
class TNodeBench final : public cli::TSystemBench {
  public:
    explicit TNodeBench(TEmulatedTransceiver& node)
        : TSystemBench(hid::CreateSystemServices()), node_(node), start_(TSystemBench::Now()) {}

    // The session whose log says what the host has received.
    void Follow(const cli::TSession& session) { session_ = &session; }

    core::TTimePoint Now() const override {
        const std::int64_t ms = quietNs_ / 1000000;
        return {start_.utcMs + ms, start_.wallMs + ms};
    }

    void Pass() override {
        if (CaughtUp()) node_.Deliver();
        TSystemBench::Pass();
        const std::int64_t now = SteadyNs();
        const bool quiet = node_.Gone() || (!node_.Pending() && CaughtUp());
        if (quiet) lastQuietNs_ = now;
        // A reply that stays unread this long is lost, not late: the clock goes on, so that
        // the session's own time-out ends the wait.
        if (quiet || now - lastQuietNs_ > kLostNs) quietNs_ += now - lastNs_;
        lastNs_ = now;
    }

  private:
    static constexpr std::int64_t kLostNs = kWaitMs * 1000000;

    // Every report written to the node has reached the session's log, one "<<" line each
    // (after the time stamp "yy/MM/dd hh:mm:ss zzz,").
    bool CaughtUp() {
        if (!session_) return true;
        const std::vector<std::string>& lines = session_->LogLines();
        for (; scanned_ < lines.size(); ++scanned_)
            if (lines[scanned_].compare(22, 2, "<<") == 0) ++received_;
        return received_ >= node_.Delivered();
    }

    TEmulatedTransceiver& node_;
    const core::TTimePoint start_;
    const cli::TSession* session_ = nullptr;
    std::size_t scanned_ = 0;
    int received_ = 0;
    std::int64_t quietNs_ = 0;
    std::int64_t lastNs_ = SteadyNs();
    std::int64_t lastQuietNs_ = lastNs_;
};

// What a command prints, caught in memory.
class TCapture {
  public:
    TCapture() : file(open_memstream(&text_, &size_)) {}
    ~TCapture() {
        std::fclose(file);
        std::free(text_);
    }
    TCapture(const TCapture&) = delete;
    TCapture& operator=(const TCapture&) = delete;
    std::string Text() {
        std::fflush(file);
        return {text_, size_};
    }
    std::FILE* const file;

  private:
    char* text_ = nullptr;
    std::size_t size_ = 0;
};

// "name=value" for every setting the connected unit has, as the session read it back.
std::vector<std::string> ReadBack(const cli::TSession& session) {
    const core::TConversation& c = session.Conversation();
    std::vector<std::string> values;
    for (const cli::TSettingInfo& info : cli::kSettings)
        if (!params::SettingValues(info.id, c.Identity()).empty())
            values.push_back(std::string(info.name) + "=" +
                             cli::ChosenValue(c, info.id).value_or("?"));
    return values;
}

// The keys whose values differ between two sets of the same unit.
std::vector<std::string> ChangedKeys(const sim::ParamSet& before, const sim::ParamSet& after) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : after.Entries())
        if (before.Get(key) != value) keys.push_back(key);
    return keys;
}

cli::TCommandOptions Printing(TCapture& out, TCapture& err) {
    cli::TCommandOptions options;
    options.out = out.file;
    options.err = err.file;
    options.session.messages = err.file;
    return options;
}

std::vector<cli::TRequest> Requests(const std::vector<std::string>& assignments) {
    const cli::TRequests parsed = cli::ParseAssignments(assignments);
    EXPECT_TRUE(parsed) << parsed.error;
    return parsed.requests;
}

const sim::Profile kProfile = sim::MakeProfile("DW730 TONAL", "201036");

class LinuxCliTest : public ::testing::Test {
  protected:
    // In this order: the services' udev monitor comes after the testbed and goes before it,
    // and the session lets go of the node before the services go.
    TEmulatedTransceiver node{kProfile};
    TCapture said; // what the session tells the person at the bench
    std::unique_ptr<TNodeBench> bench = std::make_unique<TNodeBench>(node);
    std::unique_ptr<cli::TSession> session;

    void SetUp() override { ASSERT_TRUE(bench->Available()); }

    // Starts the session, lets its first look at the devices find nothing, plugs the unit
    // in and connects it.
    void PlugAfterStart() {
        session = std::make_unique<cli::TSession>(*bench, Options());
        bench->Follow(*session);
        ASSERT_TRUE(
            session->RunUntil([&] { return !session->Conversation().FirstCheck(); }, kWaitMs));
        ASSERT_FALSE(session->Conversation().Connected());
        node.Plug();
        const cli::TOutcome connected = session->Connect(kWaitMs);
        ASSERT_TRUE(connected.ok()) << connected.message << "\n" << Log();
    }

    cli::TSessionOptions Options() {
        cli::TSessionOptions options;
        options.messages = said.file;
        options.timeoutMs = kWaitMs;
        options.keepLog = true;
        return options;
    }

    std::string Log() const {
        std::string text;
        for (const std::string& line : session->LogLines())
            text += line + "\n";
        return text;
    }

    bool LogHas(const std::string& text) const {
        const std::vector<std::string>& lines = session->LogLines();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& line) { return line.find(text) != line.npos; });
    }
};

TEST_F(LinuxCliTest, ConnectsAUnitPluggedAfterStartChangesItAndRestoresItsFactorySettings) {
    ASSERT_NO_FATAL_FAILURE(PlugAfterStart());
    const core::TConversation& c = session->Conversation();
    EXPECT_TRUE(LogHas("HID_Open:CheckOut QD device2.")) << Log();
    EXPECT_EQ(c.Identity().model, "DW730 TONAL");
    EXPECT_EQ(c.Identity().version, "201036");
    EXPECT_EQ(c.Serial(), kProfile.serial);
    ASSERT_TRUE(session->SettingsShown());
    {
        // The node reads back what the same unit on simulated services does.
        cli::TSimBench simulated(kProfile, 1);
        cli::TSession reference(simulated, Options());
        ASSERT_TRUE(reference.Connect(kWaitMs).ok());
        EXPECT_EQ(ReadBack(*session), ReadBack(reference));
    }

    const sim::ParamSet before = node.Stored();
    const cli::TOutcome applied =
        session->Apply(Requests({"volume=2", "hands-free=3", "voice-guide=high"}));
    ASSERT_TRUE(applied.ok()) << applied.message << "\n" << Log();
    EXPECT_EQ(applied.message, kProfile.serial + ": 3 setting(s) changed (volume, hands-free, "
                                                 "voice-guide); written and saved");
    // Each request changed its own parameter in the unit's stored set, and nothing else.
    EXPECT_EQ(ChangedKeys(before, node.Stored()),
              (std::vector<std::string>{"PhoneOutVol", "CsgVoxNzccTh", "VoiceGuideSwitch"}));
    const cli::TOutcome readBack = session->ReadBack();
    ASSERT_TRUE(readBack.ok()) << readBack.message << "\n" << Log();
    const std::vector<std::string> values = ReadBack(*session);
    for (const char* expected : {"volume=2", "hands-free=3", "voice-guide=high"})
        EXPECT_NE(std::find(values.begin(), values.end(), expected), values.end()) << expected;

    const cli::TOutcome restored = session->Default();
    ASSERT_TRUE(restored.ok()) << restored.message << "\n" << Log();
    EXPECT_EQ(restored.message, kProfile.serial + ": factory settings restored");
    EXPECT_EQ(node.Stored(), node.Inspect([](const auto& unit) { return *unit.Defaults(); }));
    EXPECT_EQ(said.Text(), "");
}

TEST_F(LinuxCliTest, AUnitPulledOutDuringApplyEndsWithExitThreeAndSaysWhatWasWritten) {
    ASSERT_NO_FATAL_FAILURE(PlugAfterStart());
    const sim::ParamSet before = node.Stored();
    // Pulled out once the unit has the channel's first command, before it answers it.
    node.UnplugOnCommand("SPAR Led");
    const cli::TOutcome outcome =
        session->Apply(Requests({"volume=2", "hands-free=3", "voice-guide=high"}));
    EXPECT_EQ(static_cast<int>(outcome.exit), 3);
    // Only the settings this unit has are named (Apply also writes back the others).
    EXPECT_EQ(outcome.message, "the unit went away during Apply: written: volume, hands-free; "
                               "not written: dive-computer, voice-guide, air-check; not saved")
        << Log();
    EXPECT_TRUE(node.Gone());
    EXPECT_FALSE(session->Conversation().Connected());
    EXPECT_TRUE(LogHas("Disconnect device.")) << Log();
    EXPECT_EQ(node.Stored(), before); // never saved
}

TEST_F(LinuxCliTest, ListsTheHidDevicesAndMarksTheTransceiver) {
    node.PlugMouse(1, "1209", "0001");
    {
        TCapture out, err;
        EXPECT_EQ(cli::RunList(*bench, Printing(out, err)), 3);
        EXPECT_EQ(out.Text(), "1209:0001\t/dev/hidraw1\tExample Mouse\n");
        EXPECT_EQ(err.Text(), "sonavelle-cli: no transceiver among 1 HID device(s)\n");
    }

    node.Plug();
    TNodeBench later(node); // a new run of the command
    TCapture out, err;
    EXPECT_EQ(cli::RunList(later, Printing(out, err)), 0) << err.Text();
    // One line a device, in whatever order the system enumerates them.
    std::vector<std::string> lines;
    std::istringstream listed(out.Text());
    for (std::string line; std::getline(listed, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "1209:0001\t/dev/hidraw1\tExample Mouse",
                         "3a5c:7802\t/dev/hidraw0\tSonavelle Transceiver\t<- the transceiver"}));
    EXPECT_EQ(err.Text(), "");
}

} // namespace

int main(int argc, char** argv) {
    RunWithUmockdevPreload(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
