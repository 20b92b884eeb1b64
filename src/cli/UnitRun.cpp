#include "cli/UnitRun.h"

#include "link/Text.h"
#include "params/Capabilities.h"
#include "settings/ApplyValues.h"

#include <algorithm>
#include <utility>

namespace cli {

namespace {

// A reply as it reads in a message: without its line end.
std::string ReplyText(std::string reply) {
    while (!reply.empty() && static_cast<unsigned char>(reply.back()) <= 0x20)
        reply.pop_back();
    return reply;
}

} // namespace

std::string SettingNames(const std::vector<TSetting>& settings) {
    std::vector<std::string> names;
    for (TSetting setting : settings)
        names.emplace_back(Info(setting).name);
    return Join(names, ", ");
}

const char* WhatIsShown(const std::string& firmware, const std::string& model) {
    if (!params::IsSupportedFirmware(firmware)) return "settings not shown";
    return params::Adjustable(params::TIdentity::FromVersion(firmware, model))
               ? "settings shown and changed"
               : "settings shown only";
}

TUnitRun::TUnitRun(std::unique_ptr<TRunJournal> journal, std::int64_t timeoutMs,
                   std::string program, TSay say)
    : journal_(std::move(journal)), timeoutMs_(timeoutMs), program_(std::move(program)),
      say_(std::move(say)) {}

TUnitRun::~TUnitRun() = default;

void TUnitRun::Attach(core::TConversation& conversation) {
    conversation_ = &conversation;
    if (journal_) journal_->Attach(conversation);
}

// ---- the journal -----------------------------------------------------------------------------

bool TUnitRun::BeforeFirstWrite(core::TRunKind kind) {
    recordLost_ = false;
    const bool go = journal_->BeforeFirstWrite(kind);
    if (go && journal_->BacksUp()) say_(program_ + ": backup saved: " + journal_->LastBackup());
    return go;
}

void TUnitRun::RunEnded(core::TRunKind kind, core::TRunEnd end) {
    journal_->RunEnded(kind, end);
    recordLost_ = journal_->RecordLost();
    // The unit has what it has either way; the person at the bench hears the record is short.
    if (!journal_->LastError().empty()) say_(program_ + ": " + journal_->LastError());
}

// ---- the unit's state in words ---------------------------------------------------------------

std::string TUnitRun::Seconds(std::int64_t ms) const {
    return std::to_string((ms + 999) / 1000) + " s";
}

std::string TUnitRun::NoAnswer(const char* what) const {
    const core::TConversation& c = *conversation_;
    std::string line = std::string(what) + ": no answer to " + Quoted(c.LastCommand()) +
                       " within " + Seconds(timeoutMs_);
    if (const auto& failure = c.LastRun().writeFailure)
        line += " (" + failure->text + ")";
    else if (!c.Replies().Text().empty())
        line += " (last reply " + Quoted(ReplyText(c.Replies().Text())) + ")";
    return line;
}

std::string TUnitRun::SerialFound() const {
    const std::optional<std::string>& read = conversation_->Serial();
    return read ? Escaped(core::Latin1ToUtf8(*read)) : "(not read)";
}

bool TUnitRun::SettingsShown() const {
    const core::TConversation& c = *conversation_;
    return c.Connected() && c.Phase() == core::TPhase::Ready && c.Supported();
}

bool TUnitRun::WriteRefused() const {
    const auto& failure = conversation_->LastRun().writeFailure;
    return failure && failure->kind == hid::TErrorKind::AccessDenied;
}

std::optional<TOutcome> TUnitRun::NotWritable(const std::string& path) const {
    // No answer can come to a command this user may not send: said at once, not after the
    // wait. (Other write failures mostly come from a unit unplugged, whose notice follows.)
    if (!WriteRefused()) return std::nullopt;
    return TOutcome{TExit::NoUnit, "the unit at " + path + " cannot be written to: " +
                                       conversation_->LastRun().writeFailure->text};
}

// ---- identification --------------------------------------------------------------------------

bool TUnitRun::Identified() const {
    const core::TConversation& c = *conversation_;
    return c.Phase() == core::TPhase::Closing || WriteRefused() ||
           (c.Connected() && c.Running() && c.Phase() == core::TPhase::Ready);
}

TOutcome TUnitRun::AfterIdentification(TWaited waited, const char* phase,
                                       const std::string& path) const {
    const core::TConversation& c = *conversation_;
    if (auto refused = NotWritable(path)) return *refused;
    if (waited == TWaited::Stopped) return {TExit::Failed, std::string("stopped during ") + phase};
    if (waited == TWaited::TimedOut) return {TExit::Failed, NoAnswer(phase)};
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

// ---- Apply and Default -----------------------------------------------------------------------

std::string TUnitRun::WrittenReport() const {
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

std::string TUnitRun::SaveReport(bool acknowledged) const {
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

std::optional<TOutcome> TUnitRun::NotBackedUp() {
    const std::optional<std::string> failure =
        journal_ ? journal_->TakeBackupFailure() : std::nullopt;
    if (!failure) return std::nullopt;
    return TOutcome{TExit::Failed, "the settings of this unit could not be backed up: " + *failure +
                                       "; nothing was written (--no-backup writes without one)"};
}

// The unit keeps what was written, but a run whose line the record did not keep has not
// done all it should.
TOutcome TUnitRun::Recorded(TOutcome outcome) {
    if (!outcome.ok() || !std::exchange(recordLost_, false)) return outcome;
    return {TExit::Failed, outcome.message + ", but not kept in the service record"};
}

TOutcome TUnitRun::WentAway() const {
    return {TExit::NoUnit,
            std::string("the unit went away during ") + runName_ + ": " + WrittenReport()};
}

bool TUnitRun::RunOver() const {
    const core::TConversation& c = *conversation_;
    return c.LastRun().refusal.has_value() || WriteRefused() || c.Phase() == core::TPhase::Ready;
}

TOutcome TUnitRun::AfterRun(TWaited waited, const std::string& path) {
    const core::TConversation& c = *conversation_;
    const auto& refusal = c.LastRun().refusal;
    TOutcome outcome;
    if (auto refused = NotWritable(path)) {
        refused->message += "; " + WrittenReport();
        outcome = *refused;
    } else if (refusal) {
        outcome = {TExit::Failed, std::string(runName_) + ": the unit answered " +
                                      Quoted(ReplyText(refusal->reply)) + " to " +
                                      Quoted(refusal->command) + "; " + WrittenReport()};
    } else if (waited == TWaited::Stopped) {
        outcome = {TExit::Failed,
                   std::string("stopped during ") + runName_ + ": " + WrittenReport()};
    } else if (waited == TWaited::TimedOut) {
        outcome = {TExit::Failed, NoAnswer(runName_) + "; " + WrittenReport()};
    } else if (runIsDefault_) {
        outcome.message = runSerial_ + ": factory settings restored";
    } else {
        outcome.message = runSerial_ + ": " + std::to_string(c.ChangeCount()) +
                          " setting(s) changed (" + SettingNames(c.Changed()) +
                          "); written and saved";
    }
    return Recorded(std::move(outcome));
}

TOutcome TUnitRun::ChooseChecked(const std::vector<TRequest>& requests,
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

TPreview TUnitRun::Preview(const std::vector<TRequest>& requests,
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

std::optional<TOutcome> TUnitRun::StartApply(const std::vector<TRequest>& requests,
                                             const params::TUnitValues* restore) {
    if (TOutcome checked = ChooseChecked(requests, restore); !checked.ok()) return checked;
    core::TConversation& c = *conversation_;
    runIdentity_ = c.Identity();
    runSerial_ = SerialFound();
    runIsDefault_ = false;
    runName_ = "Apply";
    c.PressApply();
    if (auto refused = NotBackedUp()) return refused;
    // Nothing differs from what the unit has: the window writes nothing either.
    if (c.Phase() == core::TPhase::Ready && c.ChangeCount() == 0)
        return TOutcome{TExit::Done,
                        runSerial_ + ": nothing to change: the unit already has these settings"};
    return std::nullopt;
}

std::optional<TOutcome> TUnitRun::StartDefault() {
    core::TConversation& c = *conversation_;
    const params::TIdentity& id = c.Identity();
    if (!SettingsShown() || !params::Adjustable(id))
        return TOutcome{TExit::Usage,
                        "this unit (" + UnitName(id) + ") has no settings to restore"};
    runIdentity_ = id;
    runSerial_ = SerialFound();
    runIsDefault_ = true;
    runName_ = "Default";
    c.PressDefault();
    return NotBackedUp();
}

} // namespace cli
