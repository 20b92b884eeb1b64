#pragma once
// One run of the command line against a bench: the conversation core with ports that write
// the log as the window does, say on stderr what the window would show in a box, and draw
// the progress bar; and the waits that turn the window's events into steps with an outcome.
#include "cli/Bench.h"
#include "cli/Requests.h"
#include "cli/UnitRun.h"
#include "link/Bench.h"
#include "link/Conversation.h"
#include "store/Journal.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct TSessionOptions {
    std::FILE* log = nullptr;       // every log line, as the window's --log writes it (see FlushLog)
    int* logError = nullptr;        // gets errno of the first write to log that failed
    std::FILE* messages = stderr;   // what a person at the bench is told
    bool progressBar = false;       // draw the progress bar on messages (a terminal)
    std::int64_t timeoutMs = 30000; // the longest wait for a unit and for each phase
    bool keepLog = false;           // keep the log lines in memory (tests)
    // --device: the device path or serial number of the unit to take; empty: the first.
    std::string device;
    // Set: each run that writes is backed up before its first command and recorded in the
    // service record when it ends (the journal's notes go to the log).
    std::optional<store::TJournalOptions> journal;
    std::string program = "sonavelle-cli"; // begins the lines about backups on messages
    // The units are simulated (--sim): the journal marks their record lines so and gives
    // them the PC's time.
    bool simulated = false;
    // The command writes, or says what it would write: when more than one attached unit
    // could be meant, Connect refuses rather than guess. Implied by journal.
    bool neverGuess = false;
};

// Ctrl-C: any thread or a signal handler may ask the session to stop; waits end at once,
// except that while a unit is finished (FinishUnitOnStop) only a second request ends them.
void RequestStop() noexcept;
bool StopRequested() noexcept;
// How many times a stop was asked.
int StopRequests() noexcept;
void ClearStopRequest() noexcept;

// Why a device that is present was not listed: "cannot be opened (REASON)", with the udev
// rule's hint when access was refused.
std::string UnopenedReason(const hid::THidDeviceController& hid,
                           const hid::TUnopenedDevice& device);

// What a device pass raises is said through dialogs (texts from the system converted by
// text), as the window shows it in its error box; until the handler is set again.
void SayDeviceErrors(TBench& bench, core::TDialogSink& dialogs, const core::TLogSink& text);

class TSession final : core::TLogSink, core::TDialogSink, core::TViewSink {
  public:
    TSession(TBench& bench, TSessionOptions options);
    ~TSession() override;
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    core::TConversation& Conversation() { return *conversation_; }
    // The unit's runs in words.
    TUnitRun& Run() { return *run_; }
    const core::TConversation& Conversation() const { return *conversation_; }
    TBench& Bench() { return bench_; }

    // Waits up to waitMs (negative: for ever) for a unit to be plugged in, then runs the
    // window's identification and both read-backs. Done also for a unit whose settings
    // the window does not show (Settings() then says why). With a serial number for
    // --device, the units attached are identified one after another until it matches.
    // A command that writes never guesses: with several units attached (or several of the
    // serial number --device names), each is identified and Connect refuses with exit 2,
    // naming each by path and serial number.
    TOutcome Connect(std::int64_t waitMs);
    void NeverGuess() { options_.neverGuess = true; }
    // Units identified and passed over by Connect: "SERIAL (PATH)".
    const std::vector<std::string>& PassedOver() const { return passedOver_; }
    // Whether the connected unit's settings are shown and read back.
    bool SettingsShown() const;
    // Chooses each request on the panel as a person would, then presses Apply; checks the
    // requests against the unit first and writes nothing when one does not fit. restore: a
    // backup's checked values for a unit of this model and firmware, chosen after the
    // requests (TConversation::ChooseUnitValues).
    TOutcome Apply(const std::vector<TRequest>& requests,
                   const params::TUnitValues* restore = nullptr);
    // Chooses and checks the requests as Apply does and says what it would change; nothing
    // is sent to the unit. With restore, each line names the unit's values that change too.
    TPreview Preview(const std::vector<TRequest>& requests,
                     const params::TUnitValues* restore = nullptr);
    // Presses Default.
    TOutcome Default();
    // Identifies the unit and reads its settings back again (the Reconnect button); phase
    // names the run in messages.
    TOutcome ReadBack(const char* phase = "identification");
    // Waits (for ever, or until Ctrl-C) until the unit is unplugged.
    TOutcome WaitUnplugged();

    // The log lines so far (with keepLog).
    const std::vector<std::string>& LogLines() const { return logLines_; }
    // Runs the loop until done() holds; false when limitMs (negative: none) ran out first or
    // Ctrl-C came.
    bool RunUntil(const std::function<bool()>& done, std::int64_t limitMs);
    // Takes the progress bar off its line, before anything else is printed to the terminal.
    void ClearProgress();
    // From the next unit connected until UnitDone(), the first Ctrl-C lets the unit be
    // finished (notice is said then) and only a second one ends the waits.
    void FinishUnitOnStop(std::string notice) { finishNotice_ = std::move(notice); }
    void UnitDone() { unitInProgress_ = false; }
    bool UnitInProgress() const { return unitInProgress_; }
    // Hands the log lines written so far to the file. The log is written one line at a time
    // into the stream's buffer and flushed when a unit's turn ends: before waiting for the
    // next unit or for this one to be unplugged, when Ctrl-C or a time-out ends a wait, and
    // when the session ends; a failure goes to TSessionOptions::logError.
    void FlushLog();

  private:
    // ports
    void WriteLog(std::string_view utf8, int direction) override;
    void WriteLogBytes(std::string_view latin1, int direction) override;
    std::string FromLocal8Bit(std::string_view text) const override;
    void ShowErrorBox(std::string_view utf8) override;
    void ShowErrorMessage(std::string_view caption, std::string_view text) override;
    void Refresh(bool processEvents) override;
    void Close() override;

    // text: UTF-8, or with latin1 the unit's bytes, one byte one character.
    void AppendLog(std::string_view text, bool latin1, int direction);
    void NoteLogError();
    void Say(const std::string& line);
    void DrawProgress();
    bool Gone() const;
    TOutcome WaitIdentified(const char* phase);
    TOutcome ConnectOne(std::int64_t waitMs);
    TOutcome ConnectTheOneMeant(std::int64_t waitMs, bool bySerial);
    std::string SerialFound() const { return run_->SerialFound(); }
    bool Stopping();
    std::string Found() const;
    TOutcome RunToEnd();
    TWaited Waited(bool ended) const;

    TBench& bench_;
    TSessionOptions options_;
    TDeviceView view_;
    std::unique_ptr<TUnitRun> run_;           // before the bench, which calls its journal
    std::unique_ptr<core::TUnitBench> units_; // the one unit, on the bench's controller
    core::TConversation* conversation_ = nullptr;
    std::vector<std::string> logLines_;
    std::string logLine_; // the line being written (its buffer is kept)
    bool closeAsked_ = false; // the unit was attached before the start
    bool everConnected_ = false;
    int drawnPosition_ = -1;
    std::vector<std::string> passedOver_;
    std::string finishNotice_; // empty: Ctrl-C stops at once
    bool unitInProgress_ = false;
    bool noticeSaid_ = false;
    bool stopped_ = false; // the last RunUntil ended for Ctrl-C
};

} // namespace cli
