#include "cli/Session.h"

#include "link/LogLine.h"
#include "settings/ApplyValues.h"

#include <QString>

#include <algorithm>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>

namespace cli {

namespace {

std::atomic<bool> gStop{false};

// The progress bar's line: "[####    ]  40%".
constexpr int kProgressWidth = 47;

using params::TControl;

// A reply as it reads in a message: without its line end.
std::string ReplyText(std::string reply) {
    while (!reply.empty() && static_cast<unsigned char>(reply.back()) <= 0x20)
        reply.pop_back();
    return reply;
}

} // namespace

void RequestStop() noexcept {
    gStop = true;
}
bool StopRequested() noexcept {
    return gStop;
}
void ClearStopRequest() noexcept {
    gStop = false;
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

TSession::TSession(TBench& bench, TSessionOptions options) : bench_(bench), options_(options) {
    conversation_ = std::make_unique<core::TConversation>(
        core::TConversationPorts{&bench_.Controller(), this, this, this, &bench_}, SV_VERSION);
    hid::THidDeviceController& hid = bench_.Controller();
    hid.SetOnEnumerate(hid::THidEnumerateEvent::Bind<&TSession::OnEnumerate>(this));
    hid.SetOnDeviceData(hid::THidDataEvent::Bind<&TSession::OnData>(this));
    hid.SetOnDeviceChange(hid::TNotifyEvent::Bind<&TSession::OnChange>(this));
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
    conversation_->Start();
    hid.Loaded();
}

TSession::~TSession() {
    ClearProgress();
    hid::THidDeviceController& hid = bench_.Controller();
    hid.SetOnDeviceData({});
    hid.SetOnEnumerate({});
    conversation_->Shutdown();
    bench_.MainThread().SetErrorHandler({});
}

bool TSession::OnEnumerate(hid::TCustomHidDevice* device, int32_t) {
    if (device) conversation_->Enumerated(*device);
    return true;
}

void TSession::OnData(hid::TCustomHidDevice*, uint8_t, const uint8_t* data, uint16_t size) {
    conversation_->DeviceData(data, size);
}

void TSession::OnChange(void*) {
    conversation_->DeviceChange();
}

// ---- ports -----------------------------------------------------------------------------------

void TSession::WriteLog(std::string_view utf8, int direction) {
    // A write that failed explains a unit that never answers (no udev rule, a pulled cable).
    if (utf8.starts_with("WRITE1_ERROR") || utf8.starts_with("Permission denied"))
        writeError_ = utf8;
    if (!options_.log && !options_.keepLog) return;
    std::string line = core::FormatLogLine(bench_.Now().wallMs, utf8, direction);
    if (options_.log) {
        // Each line reaches the file at once, so that it holds the last one before a crash.
        const bool written = std::fputs(line.c_str(), options_.log) >= 0 &&
                             std::fputc('\n', options_.log) != EOF &&
                             std::fflush(options_.log) == 0;
        if (!written && options_.logError && *options_.logError == 0)
            *options_.logError = errno != 0 ? errno : EIO;
    }
    if (options_.keepLog) logLines_.push_back(std::move(line));
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
    const int position = conversation_->Panel()[TControl::ProgressBar1].position;
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

bool TSession::RunUntil(const std::function<bool()>& done, std::int64_t limitMs) {
    const std::int64_t start = bench_.Now().utcMs;
    for (;;) {
        if (done()) return true;
        if (StopRequested()) return false;
        if (limitMs >= 0 && bench_.Now().utcMs - start >= limitMs) return false;
        bench_.Pass();
        if (closeAsked_) {
            // The window would close; the command line lets go of the unit and waits for
            // it to come back.
            closeAsked_ = false;
            conversation_->LetGo();
        }
        if (conversation_->Panel()[TControl::Timer1].enabled) conversation_->Tick();
        if (conversation_->Connected()) everConnected_ = true;
        DrawProgress();
    }
}

bool TSession::Gone() const {
    // Checked in by a device change (not closed after identification, step 99).
    return everConnected_ && !conversation_->Connected() && conversation_->StepNo() != 99;
}

std::string TSession::Seconds(std::int64_t ms) const {
    return std::to_string((ms + 999) / 1000) + " s";
}

std::string TSession::NoAnswer(const char* what) const {
    const core::TConversation& c = *conversation_;
    std::string line = std::string(what) + ": no answer to " + Quoted(c.LastCommand()) +
                       " within " + Seconds(options_.timeoutMs);
    if (!writeError_.empty())
        line += " (" + writeError_ + ")";
    else if (!c.Replies().Text().empty())
        line += " (last reply " + Quoted(ReplyText(c.Replies().Text())) + ")";
    return line;
}

// ---- connecting ------------------------------------------------------------------------------

TOutcome TSession::Connect(std::int64_t waitMs) {
    everConnected_ = false;
    writeError_.clear();
    const auto plugged = [this] {
        // A simulated unit comes once the start-up look at the devices is over.
        if (bench_.Simulated() && !conversation_->FirstCheck() && !conversation_->Connected())
            bench_.PlugNextUnit();
        return conversation_->Connected();
    };
    if (!RunUntil(plugged, waitMs)) {
        if (StopRequested()) return {TExit::NoUnit, "stopped before a unit was plugged in"};
        std::string unopened;
        const hid::THidDeviceController& hid = bench_.Controller();
        for (const hid::TUnopenedDevice& device : hid.Unopened())
            unopened += (unopened.empty() ? "" : "; ") + device.PnPInfo.DevicePath +
                        " is attached but " + UnopenedReason(hid, device);
        if (!unopened.empty())
            return {TExit::NoUnit,
                    "no unit could be taken within " + Seconds(waitMs) + ": " + unopened};
        return {TExit::NoUnit, "no unit was plugged in within " + Seconds(waitMs) +
                                   " (plug it in after starting the command)"};
    }
    return WaitIdentified("identification");
}

bool TSession::SettingsShown() const {
    const core::TConversation& c = *conversation_;
    return c.Connected() && c.StepNo() == 1 && !c.Panel()[TControl::Label3].visible;
}

TOutcome TSession::WaitIdentified(const char* phase) {
    const core::TConversation& c = *conversation_;
    const auto identified = [&] {
        return Gone() || c.StepNo() == 99 || (c.Connected() && c.Running() && c.StepNo() == 1);
    };
    const bool ended = RunUntil(identified, options_.timeoutMs);
    ClearProgress();
    if (Gone()) return {TExit::NoUnit, std::string("the unit went away during ") + phase};
    if (!ended) {
        if (StopRequested()) return {TExit::Failed, std::string("stopped during ") + phase};
        return {TExit::Failed, NoAnswer(phase)};
    }
    if (c.StepNo() == 1) {
        // The window shows whatever came within a second of the request; a unit that sent
        // none of its settings has not been read, and its empty panel is no answer.
        if (SettingsShown() && c.CurrentReceivedCount() == 0)
            return {TExit::Failed, std::string(phase) + ": no answer to " +
                                       Quoted(c.LastCommand()) +
                                       "; the unit's settings were not read"};
        return {};
    }
    // Closed after identification: fine where the window shows no settings for this firmware.
    if (c.Identity().version.empty() || !c.Panel()[TControl::Label3].visible)
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
    if (runIsDefault_) {
        // One command, then the unit's own erase.
        return c.Acknowledged().empty() ? "the erase was not confirmed"
                                        : "the unit confirmed the erase";
    }
    // The unit's identity as the run began: a unit that went away has none any more.
    const params::TIdentity& id = runIdentity_;

    // The command in flight when the run stopped belongs to a setting only partly written
    // (hands-free and channel take more than one).
    const std::vector<std::string>& acknowledged = c.Acknowledged();
    const bool inFlight = acknowledged.empty() || acknowledged.back() != c.LastCommand();
    const std::optional<TSetting> partial =
        inFlight ? SettingWrittenBy(c.LastCommand()) : std::nullopt;
    std::vector<TSetting> written;
    bool saved = false;
    for (const std::string& command : acknowledged) {
        if (command == params::CmdSave) saved = true;
        const std::optional<TSetting> s = SettingWrittenBy(command);
        if (s && s != partial) written.push_back(*s);
    }
    // The unit's settings in the order Apply writes them (the vocabulary's order). Apply
    // also writes back what the window does not offer on this unit; that is not reported.
    std::string have, missing;
    for (const TSettingInfo& info : kSettings) {
        if (ValuesFor(info.id, id).empty()) continue;
        const bool w = std::find(written.begin(), written.end(), info.id) != written.end();
        std::string& list = w ? have : missing;
        list += (list.empty() ? "" : ", ") + std::string(info.name);
    }
    std::string line = "written: " + (have.empty() ? std::string("none") : have) +
                       "; not written: " + (missing.empty() ? std::string("none") : missing);
    return line + "; " + SaveReport(saved);
}

std::string TSession::SaveReport(bool acknowledged) const {
    const core::TConversation& c = *conversation_;
    if (acknowledged) return "saved";
    if (c.LastCommand() != params::CmdSave || !writeError_.empty()) return "not saved";
    // A unit that said "NG" kept nothing; an answer cut short, garbled or lost may come from
    // a unit that saved.
    const auto& refusal = c.Refusal();
    if (refusal && refusal->command == params::CmdSave &&
        ReplyText(refusal->reply).starts_with("NG"))
        return "not saved";
    return "save not confirmed";
}

TOutcome TSession::RunToEnd(const char* what) {
    const core::TConversation& c = *conversation_;
    const bool ended = RunUntil(
        [&] { return Gone() || c.Refusal().has_value() || c.StepNo() == 1; }, options_.timeoutMs);
    ClearProgress();
    if (Gone())
        return {TExit::NoUnit,
                std::string("the unit went away during ") + what + ": " + WrittenReport()};
    if (c.Refusal())
        return {TExit::Failed, std::string(what) + ": the unit answered " +
                                   Quoted(ReplyText(c.Refusal()->reply)) + " to " +
                                   Quoted(c.Refusal()->command) + "; " + WrittenReport()};
    if (!ended) {
        if (StopRequested())
            return {TExit::Failed, std::string("stopped during ") + what + ": " + WrittenReport()};
        return {TExit::Failed, NoAnswer(what) + "; " + WrittenReport()};
    }
    return {};
}

namespace {

// The settings whose stored value a run changes, by their names; a setting that shares its
// choice with another (dive-computer, receive-only) is named as this unit has it.
std::string ChangedNames(const std::vector<TControl>& changed, const params::TIdentity& id) {
    std::vector<std::string> names;
    for (TControl choice : changed) {
        std::string_view name;
        for (const TSettingInfo& info : kSettings) {
            if (info.choice != choice) continue;
            if (name.empty() || !ValuesFor(info.id, id).empty()) name = info.name;
            if (!ValuesFor(info.id, id).empty()) break;
        }
        names.emplace_back(name);
    }
    return Join(names, ", ");
}

} // namespace

TOutcome TSession::Apply(const std::vector<TRequest>& requests) {
    core::TConversation& c = *conversation_;
    const params::TIdentity& id = c.Identity();
    if (!SettingsShown() || !Adjustable(id))
        return {TExit::Usage, "this unit (" + UnitName(id) + ") has no settings to change"};
    if (const auto problem = CheckForUnit(requests, id)) return {TExit::Usage, *problem};
    if (!c.Panel()[TControl::SpeedButton2].enabled)
        return {TExit::Failed, "Apply is not available now"};
    for (const TRequest& r : requests)
        Choose(c, r.setting, r.value);
    runIdentity_ = id;
    runIsDefault_ = false;
    writeError_.clear();
    c.PressApply();
    if (c.StepNo() == 1) {
        // Nothing differs from what the unit has: the window writes nothing either.
        if (c.Panel()[TControl::SpeedButton2].tag == 0)
            return {TExit::Done, "nothing to change: the unit already has these settings"};
    }
    TOutcome outcome = RunToEnd("Apply");
    if (outcome.ok())
        outcome.message = std::to_string(c.Panel()[TControl::SpeedButton2].tag) +
                          " setting(s) changed (" + ChangedNames(c.Changed(), id) +
                          "); written and saved";
    return outcome;
}

TOutcome TSession::Default() {
    core::TConversation& c = *conversation_;
    const params::TIdentity& id = c.Identity();
    if (!SettingsShown() || !Adjustable(id))
        return {TExit::Usage, "this unit (" + UnitName(id) + ") has no settings to restore"};
    if (!c.Panel()[TControl::SpeedButton3].enabled)
        return {TExit::Failed, "Default is not available now"};
    runIdentity_ = id;
    runIsDefault_ = true;
    writeError_.clear();
    c.PressDefault();
    TOutcome outcome = RunToEnd("Default");
    if (outcome.ok()) outcome.message = "factory settings restored";
    return outcome;
}

TOutcome TSession::WaitUnplugged() {
    if (!RunUntil([this] { return !conversation_->Connected(); }, -1))
        return {TExit::Failed, "stopped"};
    return {};
}

} // namespace cli
