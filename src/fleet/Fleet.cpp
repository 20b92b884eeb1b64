#include "fleet/Fleet.h"

#include <exception>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

namespace fleet {

TFleet::TFleet(TBenchMaker makeBench, cli::TCommandOptions options, TFleetFront& front)
    : makeBench_(std::move(makeBench)), options_(std::move(options)), front_(&front) {
    options_.program = kProgram;
    // The template's unit is only read: no backup, no record line, nothing sent but the
    // identification and the read-back.
    readOptions_ = options_;
    readOptions_.dryRun = true;
    readOptions_.records.clear();
}

TFleet::~TFleet() {
    // The window is going: nothing more is told to it.
    static TFleetFront none;
    front_ = &none;
    StopNow();
}

void TFleet::UseSettings(std::vector<cli::TRequest> settings, std::string source) {
    settings_ = std::move(settings);
    source_ = std::move(source);
    front_->StageChanged();
}

std::string TFleet::LoadSettings(const std::string& path) {
    cli::TRequests loaded;
    try {
        loaded = cli::LoadSettingsFrom(path);
    } catch (const std::bad_alloc&) {
        return path + ": not enough memory to read it";
    }
    if (!loaded) return loaded.error;
    if (loaded.requests.empty()) return path + ": no settings in it";
    UseSettings(std::move(loaded.requests), path);
    return {};
}

int TFleet::InProgress() const {
    return run_ ? run_->InProgress() : 0;
}

std::size_t TFleet::UnitCount() const {
    return run_ && !reading_ ? run_->Units().size() : units_.size();
}

const cli::TServedUnit& TFleet::UnitAt(std::size_t i) const {
    return run_ && !reading_ ? *run_->Units().at(i) : units_.at(i);
}

// ---- runs ------------------------------------------------------------------------------------

bool TFleet::Begin(std::vector<cli::TRequest> requests, cli::TBatchOptions batch,
                   const cli::TCommandOptions& options) {
    // The last run's devices are let go before the next bench looks for them.
    run_.reset();
    bench_.reset();
    stoppedNow_ = false;
    try {
        bench_ = makeBench_();
        if (!bench_) return false;
        cli::TBatchFront& front = *this;
        run_ =
            std::make_unique<cli::TBatchRun>(*bench_, std::move(requests), batch, options, front);
        return true;
    } catch (const std::exception& e) {
        Say(std::string("error: ") + e.what());
    }
    run_.reset();
    bench_.reset();
    return false;
}

void TFleet::ReadTemplate() {
    if (stage_ != TStage::Idle) return;
    reading_ = true;
    // One unit, only read.
    if (!Begin({}, {1, 1, false}, readOptions_)) {
        reading_ = false;
        return;
    }
    SetStage(TStage::ReadingTemplate);
    Say(std::string(kProgram) + ": plug in the unit whose settings the others are to get");
}

void TFleet::Start() {
    if (!CanStart()) return;
    reading_ = false;
    units_.clear();
    summary_.clear();
    cli::TBatchOptions batch;
    batch.keepUnitLogs = true;
    if (!Begin(settings_, batch, options_)) return;
    SetStage(TStage::Serving);
    Say(std::string(kProgram) + ": plug in the units");
}

void TFleet::StopTaking() {
    if (stage_ != TStage::Serving) return;
    run_->StopTaking();
    if (run_->Over()) return Ended();
    SetStage(TStage::Finishing);
    Say(std::string(kProgram) + ": finishing the " + std::to_string(run_->InProgress()) +
        " unit(s) in progress");
}

void TFleet::StopNow() {
    if (stage_ == TStage::Idle) return;
    stoppedNow_ = true;
    run_->StopNow();
    Ended();
}

void TFleet::Step() {
    if (stage_ == TStage::Idle || !run_) return;
    // Nothing thrown crosses the window's event loop: it is said, and the run goes on.
    try {
        run_->Step();
    } catch (const std::exception& e) {
        Say(std::string("error: ") + e.what());
    } catch (...) {
        Say("error: Unknown error.");
    }
    if (run_->Over()) Ended();
}

void TFleet::Ended() {
    if (!reading_) {
        // The units are let go at once, so that a run cut short is recorded now ("not
        // finished"), not when the next batch starts; what the window shows of them stays.
        for (const auto& unit : run_->Units())
            units_.push_back(*unit);
        summary_ = run_->Summary();
        run_.reset(); // what the units log as they go reaches units_ (UnitLogged)
        bench_.reset();
        return SetStage(TStage::Idle);
    }
    // The unit is copied out: its run and bench are let go before the window is told, so
    // that whatever the window does then (a question that waits) meets an idle fleet.
    std::optional<cli::TServedUnit> unit;
    if (!run_->Units().empty()) unit = *run_->Units().front();
    run_.reset();
    bench_.reset();
    reading_ = false;
    SetStage(TStage::Idle);
    if (stoppedNow_) {
        Say(std::string(kProgram) + ": no settings read (stopped)");
        return;
    }
    if (unit && unit->Finished()) front_->TemplateRead(*unit);
}

void TFleet::SetStage(TStage stage) {
    stage_ = stage;
    front_->StageChanged();
}

// ---- batch front -----------------------------------------------------------------------------

void TFleet::UnitChanged(const cli::TServedUnit& unit) {
    if (!reading_) front_->UnitShown(unit);
}

void TFleet::UnitFinished(const cli::TServedUnit& unit) {
    if (!reading_) front_->UnitShown(unit);
}

void TFleet::Say(const std::string& line) {
    // The template's unit stays where it is: the batch that follows serves it too.
    static const std::string unplug = std::string(kProgram) + ": unplug unit ";
    if (reading_ && std::string_view(line).substr(0, unplug.size()) == unplug) return;
    front_->Said(line);
}

void TFleet::UnitLogged(const cli::TServedUnit& unit, const std::string& line) {
    if (reading_) return;
    // A batch being let go: its units are the copies now.
    const auto i = static_cast<std::size_t>(unit.number - 1);
    if (!run_ && i < units_.size()) units_[i].log.push_back(line);
    front_->UnitLogged(unit, line);
}

} // namespace fleet
