#include "cli/Session.h"

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

// A reply as it reads in a message: without its line end.
std::string ReplyText(std::string reply) {
    while (!reply.empty() && static_cast<unsigned char>(reply.back()) <= 0x20)
        reply.pop_back();
    return reply;
}

} // namespace

void RequestStop() noexcept {
    ++gStops;
}
bool StopRequested() noexcept {
    return gStops > 0;
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

TSession::TSession(TBench& bench, TSessionOptions options)
    : bench_(bench), options_(std::move(options)), view_(bench.Controller()) {
    if (IsDevicePath(options_.device)) view_.Only(options_.device);
    if (options_.journal) {
        options_.journal->tool = "sonavelle-cli " SV_VERSION;
        if (options_.simulated) options_.journal->simulated = true;
        // Without a backup nothing is written: --no-backup turns backups off beforehand.
        journal_ = std::make_unique<store::TJournal>(
            *options_.journal, bench_,
            [this](const std::string& line) { WriteLog(line, core::kLogNote); },
            [this](const std::string& reason) {
                backupFailed_ = reason;
                return false;
            });
    }
    units_ = std::make_unique<core::TUnitBench>(
        core::TBenchPorts{&view_, this, this, this, &bench_}, SV_VERSION,
        core::TBenchPolicy::OneUnit,
        core::TUnitOptions{journal_ ? static_cast<core::TWriteJournal*>(this) : nullptr});
    conversation_ = &units_->Unit();
    if (journal_) journal_->Attach(*conversation_);
    hid::THidDeviceController& hid = bench_.Controller();
    // What a device pass raises is said, as the window shows it in its error box.
    bench_.MainThread().SetErrorHandler([this](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            ShowErrorBox(FromLocal8Bit(e.what()));
        } catch (...) {
            ShowErrorBox("Unknown error.");
        }
    });
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

bool TSession::BeforeFirstWrite(core::TRunKind kind) {
    backupFailed_.reset();
    recordLost_ = false;
    const bool go = journal_->BeforeFirstWrite(kind);
    if (go && journal_->Options().backups)
        Say(options_.program + ": backup saved: " + journal_->LastBackup());
    return go;
}

void TSession::RunEnded(core::TRunKind kind, core::TRunEnd end) {
    journal_->RunEnded(kind, end);
    recordLost_ = !journal_->RecordError().empty();
    // The unit has what it has either way; the person at the bench hears the record is short.
    if (!journal_->LastError().empty()) Say(options_.program + ": " + journal_->LastError());
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

std::string TSession::Seconds(std::int64_t ms) const {
    return std::to_string((ms + 999) / 1000) + " s";
}

std::string TSession::NoAnswer(const char* what) const {
    const core::TConversation& c = *conversation_;
    std::string line = std::string(what) + ": no answer to " + Quoted(c.LastCommand()) +
                       " within " + Seconds(options_.timeoutMs);
    if (const auto& failure = c.LastRun().writeFailure)
        line += " (" + failure->text + ")";
    else if (!c.Replies().Text().empty())
        line += " (last reply " + Quoted(ReplyText(c.Replies().Text())) + ")";
    return line;
}

// ---- connecting ------------------------------------------------------------------------------

std::string TSession::Found() const {
    std::vector<std::string> paths;
    for (const hid::THidDevice* device : bench_.Controller().Devices())
        if (device->PluggedIn() && IsTransceiver(*device))
            paths.push_back(device->PnPInfo().DevicePath);
    return paths.empty() ? "none" : Join(paths, ", ");
}

std::string TSession::SerialFound() const {
    const std::optional<std::string>& read = conversation_->Serial();
    return read ? Escaped(core::Latin1ToUtf8(*read)) : "(not read)";
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
    const core::TConversation& c = *conversation_;
    return c.Connected() && c.Phase() == core::TPhase::Ready && c.Supported();
}

bool TSession::WriteRefused() const {
    const auto& failure = conversation_->LastRun().writeFailure;
    return failure && failure->kind == hid::TErrorKind::AccessDenied;
}

std::optional<TOutcome> TSession::NotWritable() const {
    // No answer can come to a command this user may not send: said at once, not after the
    // wait. (Other write failures mostly come from a unit unplugged, whose notice follows.)
    if (!WriteRefused()) return std::nullopt;
    return TOutcome{TExit::NoUnit, "the unit at " + view_.TakenPath() + " cannot be written to: " +
                                       conversation_->LastRun().writeFailure->text};
}

TOutcome TSession::WaitIdentified(const char* phase) {
    const core::TConversation& c = *conversation_;
    const auto identified = [&] {
        return Gone() || c.Phase() == core::TPhase::Closing || WriteRefused() ||
               (c.Connected() && c.Running() && c.Phase() == core::TPhase::Ready);
    };
    const bool ended = RunUntil(identified, options_.timeoutMs);
    ClearProgress();
    if (Gone()) return {TExit::NoUnit, std::string("the unit went away during ") + phase};
    if (auto refused = NotWritable()) return *refused;
    if (!ended) {
        if (stopped_) return {TExit::Failed, std::string("stopped during ") + phase};
        return {TExit::Failed, NoAnswer(phase)};
    }
    if (c.Phase() == core::TPhase::Ready) {
        // The window shows whatever came within a second of the request; a unit that sent
        // none of its settings has not been read, and its empty panel is no answer.
        if (SettingsShown() && c.CurrentReceivedCount() == 0)
            return {TExit::Failed, std::string(phase) + ": no answer to " +
                                       Quoted(c.LastCommand()) +
                                       "; the unit's settings were not read"};
        return {};
    }
    // Closed after identification: fine where the window shows no settings for this firmware.
    if (c.Identity().version.empty() || c.Supported())
        return {TExit::Failed, std::string(phase) + ": the unit answered " +
                                   Quoted(ReplyText(c.Replies().Text())) + " to " +
                                   Quoted(c.LastCommand())};
    return {};
}

TOutcome TSession::ReadBack(const char* phase) {
    conversation_->PressReconnect();
    return WaitIdentified(phase);
}

// ---- Apply and Default -----------------------------------------------------------------------

std::string TSession::WrittenReport() const {
    const core::TConversation& c = *conversation_;
    const core::TConversation::TRunOutcome& run = c.LastRun();
    if (runIsDefault_)
        return run.erased ? "the unit confirmed the erase" : "the erase was not confirmed";
    // The unit's identity as the run began: a unit that went away has none any more.
    const params::TIdentity& id = runIdentity_;

    // The unit's settings in the order Apply writes them. Apply also writes back what the
    // window does not offer on this unit; that is not reported.
    std::string have, missing;
    for (const TSettingInfo& info : kSettings) {
        if (!params::Offered(info.id, id)) continue;
        const bool w =
            std::find(run.written.begin(), run.written.end(), info.id) != run.written.end();
        std::string& list = w ? have : missing;
        list += (list.empty() ? "" : ", ") + std::string(info.name);
    }
    std::string line = "written: " + (have.empty() ? std::string("none") : have) +
                       "; not written: " + (missing.empty() ? std::string("none") : missing);
    return line + "; " + SaveReport(run.saved);
}

std::string TSession::SaveReport(bool acknowledged) const {
    const core::TConversation& c = *conversation_;
    if (acknowledged) return "saved";
    if (c.LastCommand() != params::CmdSave || c.LastRun().writeFailure) return "not saved";
    // A unit that said "NG" kept nothing; an answer cut short, garbled or lost may come from
    // a unit that saved.
    const auto& refusal = c.LastRun().refusal;
    if (refusal && refusal->command == params::CmdSave &&
        ReplyText(refusal->reply).starts_with("NG"))
        return "not saved";
    return "save not confirmed";
}

std::optional<TOutcome> TSession::NotBackedUp() {
    if (!backupFailed_) return std::nullopt;
    return TOutcome{TExit::Failed, "the settings of this unit could not be backed up: " +
                                       *std::exchange(backupFailed_, std::nullopt) +
                                       "; nothing was written (--no-backup writes without one)"};
}

// The unit keeps what was written, but a run whose line the record did not keep has not
// done all it should.
TOutcome TSession::Recorded(TOutcome outcome) {
    if (!outcome.ok() || !std::exchange(recordLost_, false)) return outcome;
    return {TExit::Failed, outcome.message + ", but not kept in the service record"};
}

TOutcome TSession::RunToEnd(const char* what) {
    const core::TConversation& c = *conversation_;
    const auto& refusal = c.LastRun().refusal;
    const bool ended = RunUntil(
        [&] {
            return Gone() || refusal.has_value() || WriteRefused() ||
                   c.Phase() == core::TPhase::Ready;
        },
        options_.timeoutMs);
    ClearProgress();
    if (Gone())
        return {TExit::NoUnit,
                std::string("the unit went away during ") + what + ": " + WrittenReport()};
    if (auto refused = NotWritable()) {
        refused->message += "; " + WrittenReport();
        return *refused;
    }
    if (refusal)
        return {TExit::Failed, std::string(what) + ": the unit answered " +
                                   Quoted(ReplyText(refusal->reply)) + " to " +
                                   Quoted(refusal->command) + "; " + WrittenReport()};
    if (!ended) {
        if (stopped_)
            return {TExit::Failed, std::string("stopped during ") + what + ": " + WrittenReport()};
        return {TExit::Failed, NoAnswer(what) + "; " + WrittenReport()};
    }
    return {};
}

std::string SettingNames(const std::vector<TSetting>& settings) {
    std::vector<std::string> names;
    for (TSetting setting : settings)
        names.emplace_back(Info(setting).name);
    return Join(names, ", ");
}

TOutcome TSession::ChooseChecked(const std::vector<TRequest>& requests,
                                 const params::TUnitValues* restore) {
    core::TConversation& c = *conversation_;
    const params::TIdentity& id = c.Identity();
    if (!SettingsShown() || !params::Adjustable(id))
        return {TExit::Usage, "this unit (" + UnitName(id) + ") has no settings to change"};
    if (const auto problem = CheckForUnit(requests, id)) return {TExit::Usage, *problem};
    for (const TRequest& r : requests)
        Choose(c, r.setting, r.value);
    if (restore) c.ChooseUnitValues(*restore);
    return {};
}

TPreview TSession::Preview(const std::vector<TRequest>& requests,
                           const params::TUnitValues* restore) {
    TPreview preview{ChooseChecked(requests, restore), {}, {}};
    if (!preview.outcome.ok()) return preview;
    const core::TConversation& c = *conversation_;
    // Counted as Apply counts, so that the preview and the run cannot disagree.
    preview.changed = c.ChangesOnApply().changed;
    const std::vector<store::TRawChange> raw =
        restore ? store::RawChanges(c.WritesOnApply(), c.UnitValues())
                : std::vector<store::TRawChange>();
    for (TSetting setting : preview.changed) {
        // As asked: the air check's state does not say "off" over a value it cannot show.
        const auto asked = std::find_if(requests.begin(), requests.end(),
                                        [&](const TRequest& r) { return r.setting == setting; });
        // A restore names what its backup calls the value, or nothing it cannot name.
        const std::optional<std::string> chosen = asked != requests.end()
                                                      ? std::optional(asked->value)
                                                  : restore ? std::nullopt
                                                            : ChosenValue(c, setting);
        if (restore) {
            const auto values = std::find_if(raw.begin(), raw.end(), [&](const auto& change) {
                return change.setting == setting;
            });
            preview.changes.push_back(store::ChangeLine(
                setting, HeldValue(c, setting), chosen,
                values != raw.end() ? values->values : std::vector<std::string>()));
            continue;
        }
        std::string current = HeldValue(c, setting).value_or("?");
        if (const auto held = c.Setting(setting).raw; current == "?" && held)
            current += " (" + Quoted(*held) + ")";
        preview.changes.push_back(std::string(Info(setting).name) + ": " + current + " -> " +
                                  chosen.value_or("?"));
    }
    return preview;
}

TOutcome TSession::Apply(const std::vector<TRequest>& requests,
                         const params::TUnitValues* restore) {
    if (TOutcome checked = ChooseChecked(requests, restore); !checked.ok()) return checked;
    core::TConversation& c = *conversation_;
    runIdentity_ = c.Identity();
    runSerial_ = SerialFound();
    runIsDefault_ = false;
    c.PressApply();
    if (auto refused = NotBackedUp()) return *refused;
    // Nothing differs from what the unit has: the window writes nothing either.
    if (c.Phase() == core::TPhase::Ready && c.ChangeCount() == 0)
        return {TExit::Done,
                runSerial_ + ": nothing to change: the unit already has these settings"};
    TOutcome outcome = RunToEnd("Apply");
    if (outcome.ok())
        outcome.message = runSerial_ + ": " + std::to_string(c.ChangeCount()) +
                          " setting(s) changed (" + SettingNames(c.Changed()) +
                          "); written and saved";
    return Recorded(std::move(outcome));
}

TOutcome TSession::Default() {
    core::TConversation& c = *conversation_;
    const params::TIdentity& id = c.Identity();
    if (!SettingsShown() || !params::Adjustable(id))
        return {TExit::Usage, "this unit (" + UnitName(id) + ") has no settings to restore"};
    runIdentity_ = id;
    runSerial_ = SerialFound();
    runIsDefault_ = true;
    c.PressDefault();
    if (auto refused = NotBackedUp()) return *refused;
    TOutcome outcome = RunToEnd("Default");
    if (outcome.ok()) outcome.message = runSerial_ + ": factory settings restored";
    return Recorded(std::move(outcome));
}

TOutcome TSession::WaitUnplugged() {
    FlushLog();
    if (!RunUntil([this] { return !conversation_->Connected(); }, -1))
        return {TExit::Failed, "stopped"};
    return {};
}

} // namespace cli
