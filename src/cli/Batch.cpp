#include "cli/Batch.h"

#include "cli/StoreJournal.h"
#include "link/LogLine.h"
#include "link/Text.h"
#include "store/UnitJson.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace cli {

const char* StepName(TUnitStep step) {
    switch (step) {
    case TUnitStep::Identifying:
        return "identifying";
    case TUnitStep::Writing:
        return "writing";
    case TUnitStep::Checking:
        return "checking";
    case TUnitStep::Finished:
        return "finished";
    case TUnitStep::Unplugged:
        return "unplugged";
    }
    return "";
}

namespace {

// The settings show --json prints: each one this unit has that has a value.
std::vector<TRequest> SettingsOf(const core::TConversation& unit, const std::string& name) {
    std::vector<TRequest> settings;
    for (const TSettingInfo& info : kSettings) {
        if (params::SettingValues(info.id, unit.Identity()).empty()) continue;
        if (std::optional<std::string> value = ChosenValue(unit, info.id))
            settings.push_back(
                {info.id, std::move(*value), name + ": settings." + std::string(info.name)});
    }
    return settings;
}

} // namespace

std::string TServedUnit::Name() const {
    return (serial.empty() ? std::string(store::kSerialNotRead) : serial) + " at " + port;
}

// A unit the batch took: its runs, its conversation while it is on the bench, and where it
// stands.
struct TBatchRun::TUnit {
    TServedUnit* shown = nullptr;
    std::unique_ptr<TUnitRun> run;
    core::TConversation* conversation = nullptr; // null once gone
    std::int64_t stepStartMs = 0;                // when its step began (the bench's clock)
    bool written = false;                        // Apply changed a setting
};

TBatchRun::TBatchRun(TBench& bench, std::vector<TRequest> requests, TBatchOptions batch,
                     const TCommandOptions& options, TBatchFront& front)
    : bench_(bench), requests_(std::move(requests)), batch_(batch), options_(options),
      front_(front), view_(bench.Controller()) {
    view_.Room([this] { return Room(); });
    units_ = std::make_unique<core::TUnitBench>(
        core::TBenchPorts{&view_, this, this, this, &bench_, this}, SV_VERSION,
        core::TBenchPolicy::EveryUnit, core::TUnitOptions{nullptr, nullptr, 0});
    SayDeviceErrors(bench_, *this, *this);
    units_->Start();
    bench_.Controller().Loaded();
    // A bench that served a batch before knows its devices, and tells of no change until
    // one comes: the transceivers plugged in meanwhile are looked at now.
    if (!bench_.Controller().Devices().empty()) units_->DeviceChange();
}

TBatchRun::~TBatchRun() {
    LetGo();
    // Another batch may follow on this bench: nothing of this one is called any more. The
    // device pass the controller makes meanwhile only brings its list up to date.
    try {
        view_.SetOnDeviceChange({});
    } catch (...) {
    }
    bench_.MainThread().SetErrorHandler({});
}

void TBatchRun::LetGo() {
    if (std::exchange(letGo_, true)) return;
    // Runs still under way end now (and are recorded so).
    units_->Shutdown();
}

// ---- the units as they come and go -----------------------------------------------------------

bool TBatchRun::Room() const {
    return Taking() && (batch_.parallel <= 0 || InProgress() < batch_.parallel);
}

int TBatchRun::InProgress() const {
    return static_cast<int>(std::count_if(
        served_.begin(), served_.end(), [](const auto& unit) { return !unit->shown->Finished(); }));
}

bool TBatchRun::Taking() const {
    return taking_ && (batch_.count <= 0 || static_cast<int>(served_.size()) < batch_.count);
}

TBatchRun::TUnit* TBatchRun::UnitAt(std::string_view port) const {
    const auto it = byPort_.find(port);
    return it == byPort_.end() ? nullptr : it->second;
}

TBatchRun::TUnit* TBatchRun::UnitOf(const core::TConversation& conversation) const {
    for (const auto& unit : served_)
        if (unit->conversation == &conversation) return unit.get();
    return nullptr;
}

core::TWriteJournal* TBatchRun::JournalFor(const hid::TCustomHidDevice& device) {
    const std::string& port = device.PnPInfo().DevicePath;
    auto unit = std::make_unique<TUnit>();
    auto shown = std::make_unique<TServedUnit>();
    shown->number = static_cast<int>(served_.size()) + 1;
    shown->port = port;
    unit->shown = shown.get();
    TUnit* at = unit.get();
    std::unique_ptr<TRunJournal> journal;
    if (!options_.dryRun) {
        store::TJournalOptions o;
        o.keep = options_.keepBackups;
        o.extraRecords = options_.records;
        o.backups = options_.backups;
        o.tool = std::string(options_.program) + " " SV_VERSION;
        o.simulated = options_.session.simulated;
        // Two units of one serial number may be served at once: the record tells them apart.
        o.port = port;
        journal = StoreJournal(std::move(o), bench_, [this, at](const std::string& line) {
            Log(at, line, false, core::kLogNote);
        });
    }
    unit->run =
        std::make_unique<TUnitRun>(std::move(journal), options_.session.timeoutMs, options_.program,
                                   [this](const std::string& line) { front_.Say(line); });
    unit->stepStartMs = bench_.Now().utcMs;
    byPort_[port] = at;
    arriving_ = at;
    served_.push_back(std::move(unit));
    shown_.push_back(std::move(shown));
    return at->run->Journaled() ? at->run.get() : nullptr;
}

void TBatchRun::UnitArrived(core::TConversation& conversation) {
    // The unit its journal was asked for just before (the bench may be in its own making).
    TUnit* unit = std::exchange(arriving_, nullptr);
    if (!unit) return;
    unit->conversation = &conversation;
    unit->run->Attach(conversation);
    unit->stepStartMs = bench_.Now().utcMs;
    front_.UnitChanged(*unit->shown);
}

void TBatchRun::UnitIdentified(core::TConversation& conversation) {
    // Shown as soon as they are read; taken again when identification is over.
    // (The check read-back identifies the unit again: what it was first identified as stays.)
    if (TUnit* unit = UnitOf(conversation); unit && unit->shown->step == TUnitStep::Identifying) {
        TakeFacts(*unit);
        front_.UnitChanged(*unit->shown);
    }
}

void TBatchRun::TakeFacts(TUnit& unit) {
    const store::TUnitFacts facts = store::UnitFacts(*unit.conversation);
    unit.shown->serial = facts.serial;
    unit.shown->model = facts.model;
    unit.shown->firmware = facts.firmware;
}

void TBatchRun::UnitGone(core::TConversation& conversation) {
    TUnit* unit = UnitOf(conversation);
    if (!unit) return;
    TServedUnit& shown = *unit->shown;
    // Gone: nobody is asked to unplug it. Its conversation ends when this returns.
    unit->conversation = nullptr;
    if (!shown.Finished()) {
        switch (shown.step) {
        case TUnitStep::Writing:
            Finish(*unit, unit->run->WentAway());
            break;
        case TUnitStep::Checking:
            Finish(*unit,
                   CheckedAgainst(conversation, requests_,
                                  {TExit::NoUnit, "the unit went away during the check read-back"},
                                  unit->written));
            break;
        default:
            Finish(*unit, {TExit::NoUnit, "the unit went away during identification"});
            break;
        }
    }
    shown.step = TUnitStep::Unplugged;
    byPort_.erase(shown.port);
    front_.UnitChanged(shown);
    // Room is made for a unit that waits.
    lookAgain_ = true;
}

void TBatchRun::Handled() {
    // A unit that cannot be opened is named once, with the reason; the others are served.
    const hid::THidDeviceController& hid = bench_.Controller();
    for (const hid::TUnopenedDevice& device : hid.Unopened()) {
        if (!MayBeTransceiver(device.PnPInfo)) continue;
        const std::string named =
            device.PnPInfo.DevicePath + " (" + UnopenedReason(hid, device) + ")";
        if (std::find(unopened_.begin(), unopened_.end(), named) != unopened_.end()) continue;
        unopened_.push_back(named);
        front_.Say(std::string(options_.program) + ": not served: " + named);
    }
}

bool TBatchRun::Waiting() const {
    for (const hid::THidDevice* device : bench_.Controller().Devices())
        if (device->PluggedIn() && !device->CheckedOut() && IsTransceiver(*device)) return true;
    return false;
}

// ---- the loop --------------------------------------------------------------------------------

void TBatchRun::Step() {
    if (letGo_) return;
    bench_.Pass();
    if (units_->NeedsTicks()) units_->Tick();
    // Simulated units come once the start-up look at the devices is over.
    if (bench_.Simulated() && !units_->FirstCheck() && Room()) bench_.PlugNextUnit();
    // A unit's step may end it: the list is walked by index.
    for (std::size_t i = 0; i < served_.size(); ++i)
        if (served_[i]->conversation && !served_[i]->shown->Finished()) Advance(*served_[i]);
    if (std::exchange(lookAgain_, false) && Room() && Waiting()) units_->DeviceChange();
}

bool TBatchRun::Over() const {
    if (InProgress() > 0) return false;
    if (!Taking()) return true;
    // A simulated bench ends with its last unit; a real one goes on until Ctrl-C.
    return bench_.Simulated() && bench_.NoUnitLeft() && !bench_.AnyUnitIn();
}

void TBatchRun::StopTaking() {
    taking_ = false;
}

void TBatchRun::StopNow() {
    taking_ = false;
    stoppedNow_ = true;
    for (const auto& unit : served_) {
        if (!unit->conversation || unit->shown->Finished()) continue;
        unit->shown->stopped = true;
        Advance(*unit);
    }
    LetGo();
}

void TBatchRun::Advance(TUnit& unit) {
    TServedUnit& shown = *unit.shown;
    const bool over =
        shown.step == TUnitStep::Writing ? unit.run->RunOver() : unit.run->Identified();
    const bool late = bench_.Now().utcMs - unit.stepStartMs >= options_.session.timeoutMs;
    if (!over && !late && !stoppedNow_) {
        if (const int progress = unit.conversation->Progress(); progress != shown.progress) {
            shown.progress = progress;
            front_.UnitChanged(shown);
        }
        return;
    }
    // Stopped at once: nothing more is sent, whatever the step came to.
    const TWaited waited = stoppedNow_ ? TWaited::Stopped
                           : over      ? TWaited::Over
                                       : TWaited::TimedOut;
    switch (shown.step) {
    case TUnitStep::Identifying:
        Identified(unit, waited);
        break;
    case TUnitStep::Writing:
        Written(unit, waited);
        break;
    case TUnitStep::Checking:
        Checked(unit, waited);
        break;
    default:
        break;
    }
}

void TBatchRun::Identified(TUnit& unit, TWaited waited) {
    TUnitRun& run = *unit.run;
    TOutcome outcome = run.AfterIdentification(waited, "identification", unit.shown->port);
    // As identified: a unit that goes away takes its facts off the panel.
    TakeFacts(unit);
    if (outcome.ok() && !run.SettingsShown())
        outcome = {TExit::Usage,
                   "settings not shown: " + store::OneLine(std::string(core::kUnsupportedNotice))};
    if (!outcome.ok()) return Finish(unit, std::move(outcome));
    unit.shown->settings = SettingsOf(run.Conversation(), unit.shown->Name());
    if (options_.dryRun) {
        const TPreview preview = run.Preview(requests_, nullptr);
        return Finish(unit, preview.outcome,
                      preview.changed.empty() ? "nothing would change"
                                              : "would change " + Join(preview.changes, ", "));
    }
    if (std::optional<TOutcome> now = run.StartApply(requests_, nullptr)) {
        if (!now->ok()) return Finish(unit, std::move(*now));
        return StartCheck(unit);
    }
    unit.shown->step = TUnitStep::Writing;
    unit.shown->progress = 0;
    unit.stepStartMs = bench_.Now().utcMs;
    front_.UnitChanged(*unit.shown);
}

void TBatchRun::Written(TUnit& unit, TWaited waited) {
    TOutcome outcome = unit.run->AfterRun(waited, unit.shown->port);
    if (!outcome.ok()) return Finish(unit, std::move(outcome));
    StartCheck(unit);
}

void TBatchRun::StartCheck(TUnit& unit) {
    // Apply left the number of settings it changed (none: nothing was written).
    unit.written = unit.conversation->ChangeCount() > 0;
    unit.conversation->PressReconnect();
    unit.shown->step = TUnitStep::Checking;
    unit.stepStartMs = bench_.Now().utcMs;
    front_.UnitChanged(*unit.shown);
}

void TBatchRun::Checked(TUnit& unit, TWaited waited) {
    TOutcome readBack =
        unit.run->AfterIdentification(waited, "the check read-back", unit.shown->port);
    Finish(unit, CheckedAgainst(*unit.conversation, requests_, std::move(readBack), unit.written));
}

void TBatchRun::Finish(TUnit& unit, TOutcome outcome, const std::string& done) {
    TServedUnit& shown = *unit.shown;
    if (!outcome.ok() && shown.step == TUnitStep::Writing)
        shown.holding = unit.run->WrittenReport();
    else if (!outcome.ok() && shown.step == TUnitStep::Checking && unit.written)
        shown.holding = "the settings were saved";
    shown.result = WithSerial(!shown.serial.empty(), std::move(outcome), options_.dryRun);
    store::TUnitFacts facts;
    facts.serial = shown.serial;
    facts.model = shown.model;
    facts.firmware = shown.firmware;
    shown.line = ResultLine(facts, *shown.result, done) + "\t" + shown.port;
    shown.step = TUnitStep::Finished;
    front_.UnitFinished(shown);
    lookAgain_ = true;
    if (!unit.conversation) return;
    front_.Say(std::string(options_.program) + ": unplug unit " + shown.Name());
    // A simulated unit is unplugged as a person would.
    bench_.UnplugUnitAt(shown.port);
}

// ---- what is said of the batch ---------------------------------------------------------------

std::vector<std::string> TBatchRun::Summary() const {
    int ok = 0, failed = 0, noSerial = 0;
    std::vector<std::string> failedNames, unfinished;
    for (const auto& unit : shown_) {
        if (unit->serial.empty()) ++noSerial;
        if (unit->Ok()) ++ok;
        // In progress: neither yet.
        if (unit->Ok() || (!unit->Finished() && !unit->stopped)) continue;
        ++failed;
        if (unit->Finished() && !unit->stopped)
            failedNames.push_back(unit->Name());
        else
            unfinished.push_back(unit->Name() + " (" +
                                 (unit->holding.empty() ? "nothing written" : unit->holding) + ")");
    }
    const int units = static_cast<int>(shown_.size());
    std::string line = std::to_string(units) + " unit(s): " + std::to_string(ok) + " OK, " +
                       std::to_string(failed) + " failed";
    if (ok + failed < units) line += ", " + std::to_string(units - ok - failed) + " in progress";
    if (noSerial > 0) line += " (" + std::to_string(noSerial) + " without a serial number)";
    if (options_.dryRun) line += "; nothing written (dry run)";
    std::vector<std::string> lines{line};
    if (!failedNames.empty()) lines.push_back("failed: " + Join(failedNames, ", "));
    if (!unfinished.empty()) lines.push_back("not finished: " + Join(unfinished, ", "));
    if (!unopened_.empty()) lines.push_back("not served: " + Join(unopened_, ", "));
    return lines;
}

int TBatchRun::ExitCode() const {
    if (shown_.empty()) return static_cast<int>(TExit::NoUnit);
    // A transceiver that could not be opened was not served: not all went well.
    const bool allOk =
        unopened_.empty() &&
        std::all_of(shown_.begin(), shown_.end(), [](const auto& unit) { return unit->Ok(); });
    return static_cast<int>(allOk ? TExit::Done : TExit::Failed);
}

// ---- ports -----------------------------------------------------------------------------------

void TBatchRun::Log(TUnit* unit, std::string_view text, bool latin1, int direction) {
    const bool keep = batch_.keepUnitLogs && unit;
    std::FILE* file = options_.session.log;
    if (!file && !keep) return;
    core::TLogHead head;
    core::FormatLogHead(bench_.Now().wallMs, direction, head);
    const std::string_view body = core::LogBody(text);
    line_.assign(head, core::kLogHeadLength);
    // Several units' lines meet in one file: each says which unit it is of.
    if (unit) line_ += "[" + unit->shown->port + "] ";
    if (latin1)
        core::AppendLatin1AsUtf8(line_, body);
    else
        line_.append(body);
    if (file) {
        line_ += '\n';
        if (std::fwrite(line_.data(), 1, line_.size(), file) != line_.size() &&
            options_.session.logError && *options_.session.logError == 0)
            *options_.session.logError = errno != 0 ? errno : EIO;
        line_.pop_back();
    }
    if (!keep) return;
    unit->shown->log.push_back(line_);
    front_.UnitLogged(*unit->shown, line_);
}

void TBatchRun::WriteLog(std::string_view utf8, int direction) {
    Log(nullptr, utf8, false, direction);
}

void TBatchRun::WriteLogBytes(std::string_view latin1, int direction) {
    Log(nullptr, latin1, true, direction);
}

void TBatchRun::WriteUnitLog(std::string_view unit, std::string_view utf8, int direction) {
    Log(UnitAt(unit), utf8, false, direction);
}

void TBatchRun::WriteUnitLogBytes(std::string_view unit, std::string_view latin1, int direction) {
    Log(UnitAt(unit), latin1, true, direction);
}

std::string TBatchRun::FromLocal8Bit(std::string_view text) const {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()))
        .toUtf8()
        .toStdString();
}

void TBatchRun::ShowErrorBox(std::string_view utf8) {
    front_.Say("error: " + std::string(utf8));
}

void TBatchRun::ShowErrorMessage(std::string_view, std::string_view text) {
    front_.Say(std::string(text));
}

// ---- the command line's batch ----------------------------------------------------------------

namespace {

// Prints each unit's result line as it finishes and what the bench is told; on a terminal,
// one live line per unit in progress below them, drawn again in place.
class TPrinter final : public TBatchFront {
  public:
    explicit TPrinter(const TCommandOptions& o) : o_(o), live_(o.session.progressBar) {}
    void Attach(const TBatchRun& run) { run_ = &run; }

    void UnitChanged(const TServedUnit&) override { dirty_ = live_; }
    void UnitFinished(const TServedUnit& unit) override {
        Clear();
        std::fprintf(o_.out, "%s\n", unit.line.c_str());
        // A unit set up without its line printed is not followed by another.
        if (std::fflush(o_.out) != 0 || std::ferror(o_.out)) lost_ = true;
        dirty_ = live_;
    }
    void Say(const std::string& line) override {
        Clear();
        std::fprintf(o_.err, "%s\n", line.c_str());
        std::fflush(o_.err);
        dirty_ = live_;
    }
    bool Lost() const { return lost_; }

    // The live lines, when something changed since they were drawn.
    void Draw() {
        if (!dirty_ || !run_) return;
        dirty_ = false;
        std::string text = Erase();
        int lines = 0;
        for (const auto& unit : run_->Units()) {
            if (unit->Finished()) continue;
            constexpr int kWidth = 20;
            const int filled = unit->progress * kWidth / 100;
            char line[256];
            std::snprintf(line, sizeof line, "  %-16s %-14s %-11s [%s%s] %3d%%\n",
                          unit->port.c_str(), unit->serial.empty() ? "-" : unit->serial.c_str(),
                          StepName(unit->step), std::string(filled, '#').c_str(),
                          std::string(kWidth - filled, ' ').c_str(), unit->progress);
            text += line;
            ++lines;
        }
        std::fputs(text.c_str(), o_.err);
        std::fflush(o_.err);
        drawn_ = lines;
    }
    void Clear() {
        if (drawn_ == 0) return;
        std::fputs(Erase().c_str(), o_.err);
        std::fflush(o_.err);
    }

  private:
    // Up to the first live line, and everything below it away.
    std::string Erase() {
        if (drawn_ == 0) return {};
        const std::string up = "\x1b[" + std::to_string(drawn_) + "A\r\x1b[J";
        drawn_ = 0;
        return up;
    }

    const TCommandOptions& o_;
    const bool live_;
    const TBatchRun* run_ = nullptr;
    bool dirty_ = false;
    bool lost_ = false;
    int drawn_ = 0;
};

} // namespace

int RunParallelBatch(TBench& bench, const std::vector<TRequest>& requests, TBatchOptions batch,
                     const TCommandOptions& o) {
    TPrinter printer(o);
    TBatchRun run(bench, requests, batch, o, printer);
    printer.Attach(run);
    std::fprintf(o.err, "%s: plug in the units (Ctrl-C stops)\n", o.program);
    std::fflush(o.err);
    bool noticeSaid = false;
    while (!run.Over()) {
        const int stops = StopRequests();
        if (stops >= 2 || (stops == 1 && run.InProgress() == 0)) {
            run.StopNow();
            break;
        }
        if (stops == 1 && !noticeSaid) {
            noticeSaid = true;
            run.StopTaking();
            printer.Say(std::string(o.program) + ": finishing the " +
                        std::to_string(run.InProgress()) +
                        " unit(s) in progress; Ctrl-C again stops at once");
        }
        if (printer.Lost()) run.StopTaking();
        run.Step();
        printer.Draw();
    }
    printer.Clear();
    if (o.session.log && std::fflush(o.session.log) != 0 && o.session.logError &&
        *o.session.logError == 0)
        *o.session.logError = errno != 0 ? errno : EIO;
    for (const std::string& line : run.Summary())
        std::fprintf(o.out, "%s\n", line.c_str());
    return run.ExitCode();
}

} // namespace cli
