#include "cli/Session.h"

#include "cli/StoreJournal.h"
#include "link/LogLine.h"
#include "link/Text.h"
#include "settings/ApplyValues.h"

#include <QString>

#include <algorithm>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <utility>

namespace cli {

namespace {

// Ctrl-C presses so far; a signal handler may count one.
std::atomic<int> gStops{0};
static_assert(std::atomic<int>::is_always_lock_free);

// The progress bar's line: "[####    ]  40%".
constexpr int kProgressWidth = 47;

std::string Seconds(std::int64_t ms) {
    return std::to_string((ms + 999) / 1000) + " s";
}

} // namespace

void RequestStop() noexcept {
    ++gStops;
}
bool StopRequested() noexcept {
    return gStops > 0;
}
int StopRequests() noexcept {
    return gStops;
}
void ClearStopRequest() noexcept {
    gStops = 0;
}

std::string UnopenedReason(const hid::THidDeviceController& hid,
                           const hid::TUnopenedDevice& device) {
    hid::TPlatformServices& services = hid.Services();
    std::string reason = std::string(device.Opened ? "cannot be identified" : "cannot be opened") +
                         " (" + services.ErrorMessage(device.Code) + ")";
    if (services.ErrorKind(device.Code) == hid::TErrorKind::AccessDenied)
        reason += ". " + std::string(core::kUdevRuleHint);
    return reason;
}

void SayDeviceErrors(TBench& bench, core::TDialogSink& dialogs, const core::TLogSink& text) {
    bench.MainThread().SetErrorHandler([&dialogs, &text](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            dialogs.ShowErrorBox(text.FromLocal8Bit(e.what()));
        } catch (...) {
            dialogs.ShowErrorBox("Unknown error.");
        }
    });
}

TSession::TSession(TBench& bench, TSessionOptions options)
    : bench_(bench), options_(std::move(options)), view_(bench.Controller()) {
    if (IsDevicePath(options_.device)) view_.Only(options_.device);
    if (options_.journal) {
        options_.journal->tool = "sonavelle-cli " SV_VERSION;
        if (options_.simulated) options_.journal->simulated = true;
    }
    run_ = std::make_unique<TUnitRun>(
        options_.journal
            ? StoreJournal(*options_.journal, bench_,
                           [this](const std::string& line) { WriteLog(line, core::kLogNote); })
            : nullptr,
        options_.timeoutMs, options_.program, [this](const std::string& line) { Say(line); });
    units_ = std::make_unique<core::TUnitBench>(
        core::TBenchPorts{&view_, this, this, this, &bench_}, SV_VERSION,
        core::TBenchPolicy::OneUnit, core::TUnitOptions{run_->Journaled() ? run_.get() : nullptr});
    conversation_ = &units_->Unit();
    run_->Attach(*conversation_);
    hid::THidDeviceController& hid = bench_.Controller();
    SayDeviceErrors(bench_, *this, *this);
    units_->Start();
    hid.Loaded();
}

TSession::~TSession() {
    ClearProgress();
    FlushLog();
    units_->Shutdown();
    bench_.MainThread().SetErrorHandler({});
}

// ---- ports -----------------------------------------------------------------------------------

void TSession::WriteLog(std::string_view utf8, int direction) {
    AppendLog(utf8, false, direction);
}

void TSession::WriteLogBytes(std::string_view latin1, int direction) {
    AppendLog(latin1, true, direction);
}

void TSession::AppendLog(std::string_view text, bool latin1, int direction) {
    if (!options_.log && !options_.keepLog) return;
    core::TLogHead head;
    core::FormatLogHead(bench_.Now().wallMs, direction, head);
    const std::string_view body = core::LogBody(text);
    logLine_.assign(head, core::kLogHeadLength);
    if (latin1)
        core::AppendLatin1AsUtf8(logLine_, body);
    else
        logLine_.append(body);
    if (options_.log) {
        // One write a line into the stream's buffer; the file gets it when a unit's turn
        // ends (FlushLog), not after every line.
        logLine_ += '\n';
        if (std::fwrite(logLine_.data(), 1, logLine_.size(), options_.log) != logLine_.size())
            NoteLogError();
        logLine_.pop_back();
    }
    if (options_.keepLog) logLines_.push_back(logLine_);
}

void TSession::FlushLog() {
    if (options_.log && std::fflush(options_.log) != 0) NoteLogError();
}

void TSession::NoteLogError() {
    if (options_.logError && *options_.logError == 0) *options_.logError = errno != 0 ? errno : EIO;
}

std::string TSession::FromLocal8Bit(std::string_view text) const {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()))
        .toUtf8()
        .toStdString();
}

void TSession::ShowErrorBox(std::string_view utf8) {
    Say("error: " + std::string(utf8));
}

void TSession::ShowErrorMessage(std::string_view, std::string_view text) {
    // The only such message: the unit was attached before the start ("Remove Sonavelle.").
    Say(std::string(text) + " A unit attached before the start is not taken: unplug it and "
                            "plug it in again.");
}

void TSession::Refresh(bool) {
    DrawProgress();
}

void TSession::Close() {
    closeAsked_ = true;
}

void TSession::Say(const std::string& line) {
    ClearProgress();
    std::fprintf(options_.messages, "%s\n", line.c_str());
    std::fflush(options_.messages);
}

void TSession::DrawProgress() {
    if (!options_.progressBar) return;
    const int position = conversation_->Progress();
    if (position == drawnPosition_) return;
    drawnPosition_ = position;
    constexpr int kWidth = kProgressWidth - 7; // "[", "] 100%"
    const int filled = position * kWidth / 100;
    std::fprintf(options_.messages, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), position);
    std::fflush(options_.messages);
}

void TSession::ClearProgress() {
    if (drawnPosition_ < 0) return;
    drawnPosition_ = -1;
    std::fprintf(options_.messages, "\r%*s\r", kProgressWidth, "");
    std::fflush(options_.messages);
}

// ---- the loop --------------------------------------------------------------------------------

bool TSession::Stopping() {
    const int stops = gStops;
    if (stops == 0) return false;
    if (!unitInProgress_) return true;
    if (!noticeSaid_) {
        noticeSaid_ = true;
        Say(finishNotice_);
    }
    return stops > 1;
}

bool TSession::RunUntil(const std::function<bool()>& done, std::int64_t limitMs) {
    const std::int64_t start = bench_.Now().utcMs;
    stopped_ = false;
    for (;;) {
        if (done()) return true;
        // Ctrl-C, or a wait given up: the lines of the unit in progress reach the file
        // whatever comes next.
        if (Stopping()) {
            stopped_ = true;
            FlushLog();
            return false;
        }
        if (limitMs >= 0 && bench_.Now().utcMs - start >= limitMs) {
            FlushLog();
            return false;
        }
        bench_.Pass();
        if (closeAsked_) {
            // The window would close; the command line lets go of the unit and waits for
            // it to come back.
            closeAsked_ = false;
            conversation_->LetGo();
        }
        if (units_->NeedsTicks()) units_->Tick();
        if (conversation_->Connected()) everConnected_ = true;
        DrawProgress();
    }
}

bool TSession::Gone() const {
    // Checked in by a device change (not closed after identification, step 99).
    return everConnected_ && !conversation_->Connected() &&
           conversation_->Phase() != core::TPhase::Closing;
}

// ---- connecting ------------------------------------------------------------------------------

std::string TSession::Found() const {
    std::vector<std::string> paths;
    for (const hid::THidDevice* device : bench_.Controller().Devices())
        if (device->PluggedIn() && IsTransceiver(*device))
            paths.push_back(device->PnPInfo().DevicePath);
    return paths.empty() ? "none" : Join(paths, ", ");
}

TOutcome TSession::Connect(std::int64_t waitMs) {
    // What the last unit's turn logged is in the file before the wait for the next one.
    FlushLog();
    passedOver_.clear();
    const std::string& serial = options_.device;
    const bool bySerial = !serial.empty() && !IsDevicePath(serial);
    if (options_.journal || options_.neverGuess) return ConnectTheOneMeant(waitMs, bySerial);
    for (;;) {
        TOutcome outcome = ConnectOne(waitMs);
        const std::string found = SerialFound();
        if (!outcome.ok() || !bySerial || found == serial) return outcome;
        // Another unit: let go of it and identify the next one attached.
        passedOver_.push_back(found + " (" + view_.TakenPath() + ")");
        view_.PassOver(view_.TakenPath());
        units_->DeviceChange();
        if (!conversation_->Connected())
            return {TExit::NoUnit, "no unit has the serial number " + Quoted(serial) + "; " +
                                       std::to_string(passedOver_.size()) +
                                       " identified: " + Join(passedOver_, ", ")};
    }
}

TOutcome TSession::ConnectTheOneMeant(std::int64_t waitMs, bool bySerial) {
    TOutcome outcome = ConnectOne(waitMs);
    if (!outcome.ok() || (!bySerial && view_.Candidates().size() <= 1)) return outcome;
    // Several units could be meant: each is identified, so that the one meant is known by
    // its serial number, or the refusal names them all.
    struct TUnit {
        std::string serial, path;
    };
    std::vector<TUnit> units;
    view_.WritableOnly();
    for (;;) {
        units.push_back({SerialFound(), view_.TakenPath()});
        view_.PassOver(view_.TakenPath());
        units_->DeviceChange();
        if (!conversation_->Connected()) break;
        if (outcome = WaitIdentified("identification"); !outcome.ok()) return outcome;
    }
    const std::string& serial = options_.device;
    std::vector<std::string> listed;
    std::vector<const TUnit*> meant;
    for (const TUnit& unit : units) {
        listed.push_back(unit.serial + " (" + unit.path + ")");
        if (!bySerial || unit.serial == serial) meant.push_back(&unit);
    }
    if (meant.empty())
        return {TExit::NoUnit, "no unit has the serial number " + Quoted(serial) + "; " +
                                   std::to_string(units.size()) +
                                   " identified: " + Join(listed, ", ")};
    if (meant.size() > 1)
        return {TExit::Usage,
                (bySerial ? std::to_string(meant.size()) +
                                " attached units have the serial number " + Quoted(serial)
                          : std::to_string(meant.size()) + " units are attached") +
                    ": " + Join(listed, ", ") + "; nothing written (name the unit with --device " +
                    (bySerial ? "PATH)" : "PATH or SERIAL)")};
    for (const TUnit& unit : units)
        if (&unit != meant.front()) passedOver_.push_back(unit.serial + " (" + unit.path + ")");
    // The one meant was let go meanwhile: it is taken and identified afresh.
    const TUnit& unit = *meant.front();
    view_.TakeOnly(unit.path);
    units_->DeviceChange();
    if (!conversation_->Connected())
        return {TExit::NoUnit, "the unit at " + unit.path + " went away during identification"};
    if (outcome = WaitIdentified("identification"); !outcome.ok()) return outcome;
    if (SerialFound() != unit.serial)
        return {TExit::Failed, "the unit at " + unit.path + " now has the serial number " +
                                   SerialFound() + ", not " + unit.serial + "; nothing written"};
    return outcome;
}

TOutcome TSession::ConnectOne(std::int64_t waitMs) {
    everConnected_ = false;
    const auto plugged = [this] {
        // A simulated unit comes once the start-up look at the devices is over.
        if (bench_.Simulated() && !conversation_->FirstCheck() && !conversation_->Connected())
            bench_.PlugNextUnit();
        if (!conversation_->Connected()) return false;
        unitInProgress_ = !finishNotice_.empty();
        return true;
    };
    if (!RunUntil(plugged, waitMs)) {
        if (stopped_) return {TExit::NoUnit, "stopped before a unit was plugged in"};
        std::string unopened;
        const hid::THidDeviceController& hid = bench_.Controller();
        for (const hid::TUnopenedDevice& device : hid.Unopened())
            unopened += (unopened.empty() ? "" : "; ") + device.PnPInfo.DevicePath +
                        " is attached but " + UnopenedReason(hid, device);
        if (!unopened.empty())
            return {TExit::NoUnit,
                    "no unit could be taken within " + Seconds(waitMs) + ": " + unopened};
        if (IsDevicePath(options_.device))
            return {TExit::NoUnit, "no unit was plugged in at " + options_.device + " within " +
                                       Seconds(waitMs) + " (transceivers attached: " + Found() +
                                       ")"};
        return {TExit::NoUnit, "no unit was plugged in within " + Seconds(waitMs) +
                                   " (plug it in after starting the command)"};
    }
    return WaitIdentified("identification");
}

bool TSession::SettingsShown() const {
    return run_->SettingsShown();
}

TWaited TSession::Waited(bool ended) const {
    return ended ? TWaited::Over : stopped_ ? TWaited::Stopped : TWaited::TimedOut;
}

TOutcome TSession::WaitIdentified(const char* phase) {
    const bool ended = RunUntil([&] { return Gone() || run_->Identified(); }, options_.timeoutMs);
    ClearProgress();
    if (Gone()) return {TExit::NoUnit, std::string("the unit went away during ") + phase};
    return run_->AfterIdentification(Waited(ended), phase, view_.TakenPath());
}

TOutcome TSession::ReadBack(const char* phase) {
    conversation_->PressReconnect();
    return WaitIdentified(phase);
}

// ---- Apply and Default -----------------------------------------------------------------------

TOutcome TSession::RunToEnd() {
    const bool ended = RunUntil([&] { return Gone() || run_->RunOver(); }, options_.timeoutMs);
    ClearProgress();
    if (Gone()) return run_->WentAway();
    return run_->AfterRun(Waited(ended), view_.TakenPath());
}

TPreview TSession::Preview(const std::vector<TRequest>& requests,
                           const params::TUnitValues* restore) {
    return run_->Preview(requests, restore);
}

TOutcome TSession::Apply(const std::vector<TRequest>& requests,
                         const params::TUnitValues* restore) {
    if (std::optional<TOutcome> now = run_->StartApply(requests, restore)) return *now;
    return RunToEnd();
}

TOutcome TSession::Default() {
    if (std::optional<TOutcome> now = run_->StartDefault()) return *now;
    return RunToEnd();
}

TOutcome TSession::WaitUnplugged() {
    FlushLog();
    if (!RunUntil([this] { return !conversation_->Connected(); }, -1))
        return {TExit::Failed, "stopped"};
    return {};
}

} // namespace cli
