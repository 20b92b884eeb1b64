#include "Parallel.h"

#include "TimedModel.h"
#include "cli/Batch.h"
#include "cli/Bench.h"
#include "cli/Requests.h"
#include "hid/sim/SimHidServices.h"
#include "hid/sim/TransceiverModel.h"
#include "sim/Profile.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <chrono>
#include <ctime>
#include <memory>
#include <utility>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

sim::Profile Unit(long replyIntervalUs) {
    sim::Profile p = sim::MakeProfile("DW730 TONAL", "201036");
    p.replyIntervalUs = replyIntervalUs;
    return p;
}

// The simulated services as the operating system's would be driven: no virtual clock, the
// reader threads on their own, the system bench's Pass() and clock. The units are plugged in
// together when the batch asks for them, and pulled out when it is done with each.
class TRealTimeSimBench final : public cli::TSystemBench {
  public:
    TRealTimeSimBench(int units, long replyIntervalUs)
        : TRealTimeSimBench(new hid::sim::TSimServices(), units, replyIntervalUs) {}

    bool Simulated() const override { return true; }
    bool PlugNextUnit() override {
        if (plugged_) return false;
        plugged_ = true;
        for (TSlot& slot : slots_)
            slot.id = services_.Plug(hid::sim::DeviceSpecOf(slot.profile, slot.timed));
        return true;
    }
    void UnplugUnitAt(const std::string& path) override {
        for (TSlot& slot : slots_) {
            if (!slot.id || hid::sim::TSimServices::PathOf(slot.id) != path) continue;
            services_.Unplug(slot.id);
            slot.id = 0;
        }
    }
    bool NoUnitLeft() const override { return plugged_; }
    bool AnyUnitIn() const override {
        for (const TSlot& slot : slots_)
            if (slot.id) return true;
        return false;
    }

    // Apply's exchanges of every unit, from the second on (the first follows the read-back's
    // last reply after a wait of one second, on purpose).
    void Exchanges(std::vector<double>& commandToCommand, std::vector<double>& readToCommand) {
        for (TSlot& slot : slots_) {
            const std::vector<TModelEvent> events = slot.timed->TakeEvents();
            const TModelEvent* command = nullptr; // Apply's last command
            const TModelEvent* read = nullptr;    // the last report read after it
            for (const TModelEvent& event : events) {
                if (event.Kind == TModelEvent::Read) {
                    read = &event;
                    continue;
                }
                const bool apply = IsApply(event.Command);
                if (apply && command && read) {
                    commandToCommand.push_back(Ms(event.At - command->At));
                    readToCommand.push_back(Ms(event.At - read->At));
                }
                command = apply ? &event : nullptr;
                read = nullptr;
            }
        }
    }

  private:
    // Apply's commands: each follows the reply to the one before at once. (A read-back's
    // next command may wait a second after the last reply on purpose.)
    static bool IsApply(const std::string& command) {
        return command.rfind("SPAR ", 0) == 0 || command == "SAVE";
    }

    struct TSlot {
        sim::Profile profile;
        std::shared_ptr<TTimedModel> timed;
        std::uint32_t id = 0;
    };

    // The bench owns the services; this keeps a reference to plug units in.
    TRealTimeSimBench(hid::sim::TSimServices* services, int units, long replyIntervalUs)
        : TSystemBench(std::unique_ptr<hid::TPlatformServices>(services)), services_(*services) {
        for (int n = 1; n <= units; ++n) {
            sim::Profile p = Unit(replyIntervalUs);
            p.serial = cli::NthSerial(p.serial, n);
            auto timed =
                std::make_shared<TTimedModel>(std::make_shared<hid::sim::TTransceiverModel>(p));
            slots_.push_back({std::move(p), std::move(timed)});
        }
    }

    hid::sim::TSimServices& services_;
    std::vector<TSlot> slots_;
    bool plugged_ = false;
};

// Says nothing: the figures are the batch's time, not a front end's.
class TQuietFront final : public cli::TBatchFront {};

// Backups and the service record in a folder of the run's own, as on a bench of its own.
class TDataFolder {
  public:
    TDataFolder() : before_(qgetenv("XDG_DATA_HOME")) {
        qputenv("XDG_DATA_HOME", dir_.path().toUtf8());
    }
    ~TDataFolder() { qputenv("XDG_DATA_HOME", before_); }
    TDataFolder(const TDataFolder&) = delete;
    TDataFolder& operator=(const TDataFolder&) = delete;
    bool Valid() const { return dir_.isValid(); }

  private:
    QTemporaryDir dir_;
    QByteArray before_;
};

// Runs the batch on bench to its end; the times and whether every unit was served OK.
TBatchTimes Serve(cli::TBench& bench, int units) {
    TBatchTimes times;
    TDataFolder data;
    if (!data.Valid()) {
        times.failure = "no temporary folder";
        return times;
    }
    const cli::TRequests requests = cli::ParseAssignments({"volume=2", "voice-guide=high"});
    cli::TCommandOptions options;
    options.session.simulated = true;
    TQuietFront front;
    cli::TBatchRun run(bench, requests.requests, cli::TBatchOptions{units, 0, false}, options,
                       front);
    const double cpu0 = ProcessCpuMs();
    const auto wall0 = Clock::now();
    const std::int64_t clock0 = bench.Now().utcMs;
    constexpr double kLimitMs = 120000;
    while (!run.Over()) {
        run.Step();
        if (Ms(Clock::now() - wall0) > kLimitMs) {
            times.failure = "not over within 120 s";
            break;
        }
    }
    times.cpuMs = ProcessCpuMs() - cpu0;
    times.wallMs = Ms(Clock::now() - wall0);
    times.clockMs = static_cast<double>(bench.Now().utcMs - clock0);
    int ok = 0;
    for (const auto& unit : run.Units()) {
        if (unit->Ok())
            ++ok;
        else if (times.failure.empty())
            times.failure = unit->line.empty() ? unit->Name() + " not finished" : unit->line;
    }
    if (times.failure.empty() && ok != units)
        times.failure = std::to_string(ok) + " of " + std::to_string(units) + " units served";
    return times;
}

} // namespace

TBatchTimes VirtualBatch(int units) {
    cli::TSimBench bench(std::vector<sim::Profile>(static_cast<std::size_t>(units), Unit(2000)));
    return Serve(bench, units);
}

TBatchTimes RealTimeBatch(int units, long replyIntervalUs) {
    TRealTimeSimBench bench(units, replyIntervalUs);
    TBatchTimes times = Serve(bench, units);
    bench.Exchanges(times.exchangeMs, times.overheadsMs);
    return times;
}

std::vector<double> BarePassIntervals(int forMs) {
    TRealTimeSimBench bench(0, 0);
    std::vector<double> intervals;
    auto last = Clock::now();
    const auto end = last + std::chrono::milliseconds(forMs);
    while (last < end) {
        bench.Pass();
        const auto now = Clock::now();
        intervals.push_back(Ms(now - last));
        last = now;
    }
    return intervals;
}

} // namespace bench
