#pragma once
// The fleet window's state apart from its widgets: the settings every unit is to get (from a
// settings file, or read from the first unit plugged in once the user has confirmed them),
// and the command line's batch engine serving every unit plugged in with them. It never
// waits: its owner calls Step() about once a millisecond (a timer, or a test).
//
// Each run (a template read, a batch) gets a bench of its own, made when it starts and let
// go when the next one starts: devices are looked at afresh, and a unit already plugged in
// is taken as one plugged in later would be.
#include "cli/Batch.h"
#include "cli/Bench.h"
#include "cli/Commands.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fleet {

inline constexpr const char* kProgram = "sonavelle-fleet";

// A bench for the next run; null when the HID services cannot be had (said as an error).
using TBenchMaker = std::function<std::unique_ptr<cli::TBench>()>;

enum class TStage {
    Idle,            // nothing runs: choose the settings, or start
    ReadingTemplate, // waiting for the first unit plugged in, to read its settings
    Serving,         // every unit plugged in is served
    Finishing,       // no new unit is taken; the units in progress are finished
};

// What the fleet tells its window. Every call comes from Step() or from a button's call.
class TFleetFront {
  public:
    virtual ~TFleetFront() = default;
    // A unit of the batch was taken, or changed.
    virtual void UnitShown(const cli::TServedUnit&) {}
    // A log line of a unit of the batch.
    virtual void UnitLogged(const cli::TServedUnit&, const std::string&) {}
    // A line for the person at the bench.
    virtual void Said(const std::string&) {}
    // The stage changed (a run began or ended).
    virtual void StageChanged() {}
    // The template read is over: the unit read, its settings in unit.settings (none when they
    // could not be read: unit.result says why). The fleet is idle again.
    virtual void TemplateRead(const cli::TServedUnit&) {}
};

class TFleet final : cli::TBatchFront {
  public:
    // options: as the command line's batch takes them (backups, time-out, simulated units);
    // the program name is the fleet's. A run under way when the fleet ends is stopped at
    // once, each unit in progress failed and recorded as it stands.
    TFleet(TBenchMaker makeBench, cli::TCommandOptions options, TFleetFront& front);
    ~TFleet() override;
    TFleet(const TFleet&) = delete;
    TFleet& operator=(const TFleet&) = delete;

    // The settings the next batch applies, and where they come from ("bench.conf", "the
    // settings of SV0000000001 (DW730 TONAL 201036)").
    void UseSettings(std::vector<cli::TRequest> settings, std::string source);
    const std::vector<cli::TRequest>& Settings() const { return settings_; }
    const std::string& Source() const { return source_; }
    // A settings file's settings; the error, one line, when it cannot be used (nothing is
    // chosen then).
    std::string LoadSettings(const std::string& path);

    // Reads the settings of the first unit plugged in, writing nothing to it (Idle only).
    void ReadTemplate();
    // Serves every unit plugged in with Settings() (Idle, with settings, only).
    void Start();
    // No new unit is taken; those in progress are finished.
    void StopTaking();
    // The units in progress end at once, each failed as it stands; a template read ends.
    void StopNow();
    // About 1 ms of the run under way; nothing while idle.
    void Step();

    TStage Stage() const { return stage_; }
    bool CanStart() const { return stage_ == TStage::Idle && !settings_.empty(); }
    // The units of the last batch, under way or over, in the order they were taken: the
    // engine's while it runs, what it left of them once over (kept until the next start).
    std::size_t UnitCount() const;
    const cli::TServedUnit& UnitAt(std::size_t i) const;
    // The last batch's summary once it is over (TBatchRun::Summary()); empty before.
    const std::vector<std::string>& Summary() const { return summary_; }
    // The units in progress.
    int InProgress() const;

  private:
    // batch front
    void UnitChanged(const cli::TServedUnit& unit) override;
    void UnitFinished(const cli::TServedUnit& unit) override;
    void Say(const std::string& line) override;
    void UnitLogged(const cli::TServedUnit& unit, const std::string& line) override;

    bool Begin(std::vector<cli::TRequest> requests, cli::TBatchOptions batch,
               const cli::TCommandOptions& options);
    void Ended();
    void SetStage(TStage stage);

    TBenchMaker makeBench_;
    cli::TCommandOptions options_;
    cli::TCommandOptions readOptions_; // the template read's: a dry run, nothing written
    TFleetFront* front_;               // none once the fleet is ending
    std::vector<cli::TRequest> settings_;
    std::string source_;
    // The run's bench outlives the run.
    std::unique_ptr<cli::TBench> bench_;
    std::unique_ptr<cli::TBatchRun> run_;
    std::vector<cli::TServedUnit> units_; // the last batch's, once over
    std::vector<std::string> summary_;
    bool reading_ = false;    // run_ reads the template
    bool stoppedNow_ = false; // the run under way was stopped at once
    TStage stage_ = TStage::Idle;
};

} // namespace fleet
