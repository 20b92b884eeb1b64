// What the window tells the user when a run that writes does not end saved, or when the
// unit cannot be written to at all. The log holds the details but lies outside the window:
// each failure is told once, in a box, with what to do about it.
#include "app/Main.h"

#include "link/LogLine.h"
#include "link/Text.h"
#include "settings/ApplyValues.h"

#include <utility>

namespace {

// A command or reply as a message quotes it: the unit's bytes may be anything.
std::string Quoted(std::string_view bytes) {
    constexpr std::size_t kLongest = 60;
    std::string shown(core::LogBody(bytes).substr(0, kLongest));
    for (char& ch : shown)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == '\x7F') ch = '?';
    // Appended piece by piece: GCC 12's release build takes "\"" + text for overlapping copies.
    std::string quoted = "\"";
    quoted += core::Latin1ToUtf8(shown);
    quoted += '"';
    return quoted;
}

constexpr std::string_view kWentAway =
    "The unit went away before the run ended: its settings may be half-written. Plug it in "
    "again and check its settings before it is used.";

std::string RefusalNotice(core::TRunKind kind, const core::TConversation::TRefusal& refusal) {
    const std::string answered =
        "it answered " + Quoted(refusal.reply) + " to " + Quoted(refusal.command) + ". ";
    if (refusal.command == params::CmdSave)
        return "The save was not confirmed: " + answered +
               "The settings written may not be kept. Check the unit: press Reconnect to read "
               "its settings again, and Apply once more if they are not what you chose.";
    if (kind == core::TRunKind::Default)
        return "The unit did not restore its factory settings: " + answered +
               "Press Reconnect to read its settings again and check them.";
    return "The unit refused a setting: " + answered +
           "Nothing was saved. Press Reconnect to read its settings again and check them, "
           "then Apply once more.";
}

// A command that could not be written; during: while a run wrote, else while the unit was
// being identified.
std::string WriteFailureNotice(const core::TConversation::TWriteFailure& failure, bool during) {
    switch (failure.kind) {
    case hid::TErrorKind::AccessDenied:
        return std::string(core::kUdevRuleHint);
    case hid::TErrorKind::NotConnected:
        return during ? std::string(kWentAway)
                      : "The unit went away while it was being identified. Plug it in again.";
    case hid::TErrorKind::Other:
        break;
    }
    const std::string what = "The unit could not be written to (" + failure.text + "). ";
    return during ? what + "Nothing was saved. Unplug the unit, plug it in again and check "
                           "its settings."
                  : what + "Its settings cannot be read. Unplug it and plug it in again.";
}

} // namespace

class TForm1::TRunWatch final : public core::TWriteJournal {
  public:
    explicit TRunWatch(TForm1& form) : form_(form) {}

    bool BeforeFirstWrite(core::TRunKind kind) override {
        form_.runOpen_ = !form_.journal_ || form_.journal_->BeforeFirstWrite(kind);
        return form_.runOpen_;
    }
    void RunEnded(core::TRunKind kind, core::TRunEnd end) override {
        // Noted before the record is written: a record that fails must not hide how it ended.
        form_.RunEnded(kind, end);
        if (form_.journal_) form_.journal_->RunEnded(kind, end);
    }

  private:
    TForm1& form_;
};

std::unique_ptr<core::TWriteJournal> TForm1::WatchRuns() {
    return std::make_unique<TRunWatch>(*this);
}

void TForm1::RunEnded(core::TRunKind kind, core::TRunEnd end) {
    runOpen_ = false;
    const core::TConversation::TRunOutcome& run = conversation_->LastRun();
    std::string notice;
    switch (end) {
    case core::TRunEnd::Saved:
    case core::TRunEnd::Abandoned: // the user moved on, or the unit is identified afresh
        return;
    case core::TRunEnd::Refused:
        if (run.refusal) notice = RefusalNotice(kind, *run.refusal);
        break;
    case core::TRunEnd::WriteFailed:
        if (run.writeFailure) notice = WriteFailureNotice(*run.writeFailure, true);
        unitFailureTold_ = true;
        break;
    case core::TRunEnd::WentAway:
        notice = kWentAway;
        break;
    }
    if (pendingFailure_.empty()) pendingFailure_ = std::move(notice);
}

void TForm1::TellFailure() {
    const core::TConversation& c = *conversation_;
    if (!c.Connected()) {
        unitFailureTold_ = false; // a unit plugged in afresh is told of again
    } else if (!runOpen_ && !unitFailureTold_ && c.LastRun().writeFailure) {
        unitFailureTold_ = true;
        if (pendingFailure_.empty())
            pendingFailure_ = WriteFailureNotice(*c.LastRun().writeFailure, false);
    }
    if (pendingFailure_.empty()) return;
    // Taken first: the box runs the event loop, and a handler meanwhile must not tell it again.
    const std::string notice = std::exchange(pendingFailure_, {});
    dialogs_->ShowFailure(core::kToolCaption, notice);
}
