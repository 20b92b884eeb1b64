#include "web/Command.h"

#include "cli/UnitRun.h"
#include "hid/sim/VirtualTime.h"
#include "link/Bench.h"
#include "link/LogLine.h"
#include "link/Text.h"
#include "params/Capabilities.h"
#include "sim/Profile.h"
#include "store/Requests.h"
#include "store/UnitText.h"
#include "web/SimUnit.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

namespace web {

namespace {

constexpr const char* kProgram = "sonavelle-cli";
constexpr const char* kVersion = SV_VERSION;

using cli::TExit;
using cli::TOutcome;
using cli::TWaited;

int Code(TExit exit) {
    return static_cast<int>(exit);
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return Code(TExit::Usage);
}

// One unit's conversation on the web link, driven 1 ms of virtual time at a time, with the
// waits of the native command line's session (src/cli/Session.cpp): the same phases end the
// same waits, and the unit's runs say the same words (cli::TUnitRun).
class TRun final : core::TLogSink, core::TDialogSink, core::TViewSink, core::TClock {
  public:
    TRun(sim::Profile profile, std::FILE* log, std::int64_t timeoutMs)
        : log_(log), timeoutMs_(timeoutMs),
          hid_([this](std::uint32_t id, const std::uint8_t* report, std::uint32_t length) {
              return unit_.Write(id, report, length);
          }),
          unit_(hid_, std::move(profile)),
          bench_(core::TBenchPorts{&hid_, this, this, this, this}, kVersion),
          run_(nullptr, timeoutMs, kProgram, [this](const std::string& line) { Say(line); }) {
        run_.Attach(bench_.Unit());
        bench_.Start();
    }
    ~TRun() override {
        Flush();
        bench_.Shutdown();
    }

    core::TConversation& Unit() { return bench_.Unit(); }

    TOutcome Connect() {
        std::fprintf(stderr, "%s: waiting for the unit (plug it in now)\n", kProgram);
        std::fflush(stderr);
        everConnected_ = false;
        core::TConversation& c = Unit();
        const auto plugged = [&] {
            // A simulated unit comes once the start-up look at the devices is over.
            if (!c.FirstCheck() && !c.Connected() && !pluggedOnce_) {
                pluggedOnce_ = true;
                plugDue_ = true;
            }
            return c.Connected();
        };
        if (!RunUntil(plugged, timeoutMs_))
            return {TExit::NoUnit, "no unit was plugged in within " + Seconds(timeoutMs_) +
                                       " (plug it in after starting the command)"};
        return WaitIdentified("identification");
    }

    bool SettingsShown() const { return run_.SettingsShown(); }

    TOutcome Apply(const std::vector<store::TRequest>& requests) {
        if (std::optional<TOutcome> now = run_.StartApply(requests, nullptr)) return *now;
        const bool ended = RunUntil([&] { return Gone() || run_.RunOver(); }, timeoutMs_);
        if (Gone()) return run_.WentAway();
        return run_.AfterRun(ended ? TWaited::Over : TWaited::TimedOut, bench_.NameOf(Unit()));
    }

    // False when a line of the log could not be written.
    bool Flush() {
        if (log_ && std::fflush(log_) != 0) logFailed_ = true;
        return !logFailed_;
    }

  private:
    // ---- ports
    core::TTimePoint Now() const override {
        const std::int64_t ms = hid::sim::kVirtualEpochMs + elapsedUs_ / 1000;
        return {ms, ms};
    }
    void WriteLog(std::string_view utf8, int direction) override { Append(utf8, false, direction); }
    void WriteLogBytes(std::string_view latin1, int direction) override {
        Append(latin1, true, direction);
    }
    void ShowErrorBox(std::string_view utf8) override { Say("error: " + std::string(utf8)); }
    void ShowErrorMessage(std::string_view, std::string_view text) override {
        Say(std::string(text) + " A unit attached before the start is not taken: unplug it and "
                                "plug it in again.");
    }
    void Refresh(bool) override {}
    void Close() override { closeAsked_ = true; }

    void Append(std::string_view text, bool latin1, int direction) {
        if (!log_) return;
        core::TLogHead head;
        core::FormatLogHead(Now().wallMs, direction, head);
        const std::string_view body = core::LogBody(text);
        line_.assign(head, core::kLogHeadLength);
        if (latin1)
            core::AppendLatin1AsUtf8(line_, body);
        else
            line_.append(body);
        line_ += '\n';
        if (std::fwrite(line_.data(), 1, line_.size(), log_) != line_.size()) logFailed_ = true;
    }

    void Say(const std::string& line) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }

    // ---- the loop
    void Pass() {
        elapsedUs_ += 1000;
        if (!started_) {
            started_ = true;
            hid_.Start();
        }
        if (std::exchange(plugDue_, false)) unit_.Plug();
        unit_.AdvanceTo(static_cast<std::uint64_t>(elapsedUs_));
    }

    bool RunUntil(const std::function<bool()>& done, std::int64_t limitMs) {
        const std::int64_t start = Now().utcMs;
        for (;;) {
            if (done()) return true;
            if (limitMs >= 0 && Now().utcMs - start >= limitMs) return false;
            Pass();
            if (std::exchange(closeAsked_, false)) Unit().LetGo();
            if (bench_.NeedsTicks()) bench_.Tick();
            if (Unit().Connected()) everConnected_ = true;
        }
    }

    bool Gone() {
        core::TConversation& c = Unit();
        return everConnected_ && !c.Connected() && c.Phase() != core::TPhase::Closing;
    }

    TOutcome WaitIdentified(const char* phase) {
        const bool ended = RunUntil([&] { return Gone() || run_.Identified(); }, timeoutMs_);
        if (Gone()) return {TExit::NoUnit, std::string("the unit went away during ") + phase};
        return run_.AfterIdentification(ended ? TWaited::Over : TWaited::TimedOut, phase,
                                        bench_.NameOf(Unit()));
    }

    std::string Seconds(std::int64_t ms) const { return std::to_string((ms + 999) / 1000) + " s"; }

    std::FILE* log_;
    std::int64_t timeoutMs_;
    TWebHidController hid_;
    TSimUnit unit_;
    core::TUnitBench bench_;
    std::int64_t elapsedUs_ = 0;
    std::string line_;
    bool logFailed_ = false;
    bool started_ = false;
    bool plugDue_ = false;
    bool pluggedOnce_ = false;
    bool closeAsked_ = false;
    bool everConnected_ = false;
    cli::TUnitRun run_;
};

int Report(const TOutcome& outcome) {
    if (!outcome.message.empty())
        std::fprintf(stderr, "%s: %s\n", kProgram, outcome.message.c_str());
    return Code(outcome.exit);
}

int SimList() {
    for (const std::string& name : sim::PresetNames()) {
        const sim::Profile p = *sim::FindPreset(name);
        const char* what = cli::WhatIsShown(p.firmware, p.model);
        std::printf("%s\t%s\n", name.c_str(), what);
    }
    return Code(TExit::Done);
}

} // namespace

int RunCommandLine(const std::vector<std::string>& arguments) {
    std::vector<std::string> sims, positional;
    std::optional<std::string> logPath;
    std::string timeout = "30";
    bool json = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string a = arguments[i];
        std::optional<std::string> inlineValue;
        if (a.starts_with("--") && a.find('=') != std::string::npos) {
            inlineValue = a.substr(a.find('=') + 1);
            a = a.substr(0, a.find('='));
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 < arguments.size()) return arguments[++i];
            return std::nullopt;
        };
        if (a == "--sim" || a == "--log" || a == "--timeout") {
            const auto v = value();
            if (!v) return Usage("Missing value after '" + a + "'.");
            if (a == "--sim") sims.push_back(*v);
            if (a == "--log") logPath = *v;
            if (a == "--timeout") timeout = *v;
        } else if (a == "--json") {
            json = true;
        } else if (a == "--no-backup") {
            // Nothing is backed up or recorded here.
        } else if (a.starts_with("-") && a != "-") {
            return Usage("this build takes --sim, --log, --timeout, --json and --no-backup; "
                         "not '" +
                         a + "'.");
        } else {
            positional.push_back(a);
        }
    }
    if (std::find(sims.begin(), sims.end(), "list") != sims.end()) return SimList();
    if (positional.empty()) return Usage("no command given (see --help).");
    const std::string command = positional.front();
    positional.erase(positional.begin());
    if (command != "show" && command != "set")
        return Usage("this build runs show and set only, not '" + command + "'.");
    if (sims.size() != 1) return Usage("this build runs one simulated unit: give one --sim.");
    if (json && command != "show") return Usage("--json is for show only.");
    if (command == "show" && !positional.empty())
        return Usage("unexpected argument '" + positional.front() + "'.");
    char* end = nullptr;
    const double timeoutSeconds = std::strtod(timeout.c_str(), &end);
    if (end == timeout.c_str() || *end != '\0' || !(timeoutSeconds > 0) || timeoutSeconds > 86400)
        return Usage("--timeout takes seconds above 0 and up to 86400, not '" + timeout + "'.");

    std::vector<store::TRequest> requests;
    if (command == "set") {
        store::TRequests parsed = store::ParseAssignments(positional, 2);
        if (!parsed) return Usage(parsed.error);
        if (parsed.requests.empty())
            return Usage("no settings given (NAME=VALUE ... or --from FILE).");
        requests = std::move(parsed.requests);
    }

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> log(nullptr, &std::fclose);
    if (logPath) {
        log.reset(std::fopen(logPath->c_str(), "a"));
        if (!log) return Usage("cannot open log file '" + *logPath + "': " + std::strerror(errno));
    }
    sim::ProfileResult profile = sim::PresetOrFile(sims.front());
    if (!profile)
        return Usage("--sim: '" + sims.front() + "' is neither a preset nor a unit file (" +
                     profile.error + ").");

    int exitCode = 0;
    bool logKept = true;
    {
        TRun run(std::move(*profile.profile), log.get(), static_cast<std::int64_t>(timeoutSeconds * 1000));
        const TOutcome connected = run.Connect();
        if (!connected.ok()) {
            exitCode = Report(connected);
        } else if (command == "show") {
            const std::string text =
                store::IndentedText(store::UnitDescription(run.Unit(), run.SettingsShown()));
            std::fwrite(text.data(), 1, text.size(), stdout);
        } else {
            const TOutcome applied = run.Apply(requests);
            if (!applied.ok())
                exitCode = Report(applied);
            else
                std::printf("%s\n", applied.message.c_str());
        }
        logKept = run.Flush();
    }
    if (std::fflush(stdout) != 0 && exitCode == 0) exitCode = Code(TExit::Failed);
    if (log && std::fclose(log.release()) != 0) logKept = false;
    if (!logKept) {
        std::fprintf(stderr, "%s: cannot write the log file '%s'\n", kProgram, logPath->c_str());
        if (exitCode == 0) exitCode = Code(TExit::Failed);
    }
    return exitCode;
}

} // namespace web
