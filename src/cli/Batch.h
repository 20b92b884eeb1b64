#pragma once
// A batch of several units at once: every transceiver plugged in is served at the same time,
// each by its own conversation on the one bench: identified, backed up, set, saved, read back
// and checked, recorded, and then let be until it is unplugged. A unit's fault is its own:
// one that goes away, refuses or answers garbage fails alone, and the others go on. Units
// come and go at any time while others run.
//
// The batch prints nothing itself: its front end (the command line's printer, the fleet
// window) hears of each unit and says what it likes.
#include "cli/Bench.h"
#include "cli/Commands.h"
#include "cli/UnitRun.h"
#include "link/Bench.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// Where a unit of the batch stands.
enum class TUnitStep {
    Identifying, // identified and its settings read
    Writing,     // backed up, set and saved
    Checking,    // read back and compared
    Finished,    // its result is known: it waits to be unplugged
    Unplugged,   // gone from the bench
};

// "identifying", "writing", "checking", "finished", "unplugged"
const char* StepName(TUnitStep step);

// A unit of the batch as its front end shows it.
struct TServedUnit {
    int number = 0;   // in the order the units were taken (from 1)
    std::string port; // where it is plugged in: its device path
    // As identified; empty until then (a serial number not read stays empty).
    std::string serial, model, firmware;
    TUnitStep step = TUnitStep::Identifying;
    int progress = 0;               // of the write under way, 0 to 100
    std::optional<TOutcome> result; // once finished
    std::string line;               // the result line, once finished
    // What the unit was left holding when it failed or was stopped, in words ("written:
    // volume; not written: ...; not saved"); empty when nothing was written.
    std::string holding;
    bool stopped = false;         // ended by StopNow() before it was finished
    std::vector<std::string> log; // its log lines (TBatchOptions::keepUnitLogs)
    // Once identified with its settings shown: each setting it has with its value, as
    // show --json names them (origin "SERIAL at PORT: settings.NAME"), so that a front end
    // can take one unit's settings for the others.
    std::vector<TRequest> settings;
    bool Finished() const { return result.has_value(); }
    bool Ok() const { return result && result->ok(); }
    // "SERIAL at PORT" ("(not read) at PORT").
    std::string Name() const;
};

class TBatchFront {
  public:
    virtual ~TBatchFront() = default;
    // A unit was taken, or its step, progress or identity changed.
    virtual void UnitChanged(const TServedUnit&) {}
    // Its result is known: unit.line.
    virtual void UnitFinished(const TServedUnit&) {}
    // A line for the person at the bench: a backup saved, an error, a unit to unplug.
    virtual void Say(const std::string&) {}
    // A log line of a unit, as its log shows it (time stamp first).
    virtual void UnitLogged(const TServedUnit&, const std::string&) {}
};

struct TBatchOptions {
    int count = 0;    // the units to serve; 0: no end but Ctrl-C (or a simulated bench's end)
    int parallel = 0; // the units served at once at most; 0: every unit plugged in
    bool keepUnitLogs = false; // each unit's log lines in TServedUnit::log
};

class TBatchRun final : core::TBenchFront, core::TLogSink, core::TDialogSink, core::TViewSink {
  public:
    // options: the command's (dry run, backups, records, the session's log file, time-out
    // and program name). requests are applied to every unit.
    TBatchRun(TBench& bench, std::vector<TRequest> requests, TBatchOptions batch,
              const TCommandOptions& options, TBatchFront& front);
    ~TBatchRun() override;
    TBatchRun(const TBatchRun&) = delete;
    TBatchRun& operator=(const TBatchRun&) = delete;

    // About 1 ms of the bench: whatever came in is handled, every unit moves on.
    void Step();
    // Nothing is under way and no unit will be taken any more.
    bool Over() const;
    // No new unit is taken; the units in progress are finished.
    void StopTaking();
    bool Taking() const;
    // The units in progress end at once, each failed as it stands ("stopped during ..."),
    // and the batch lets go of every unit (their runs are recorded as not finished).
    void StopNow();

    const std::vector<std::unique_ptr<TServedUnit>>& Units() const { return shown_; }
    int InProgress() const;
    // "N unit(s): X OK, Y failed" (", Z in progress" while there are), then lines naming the failed
    // units, the units stopped before they were finished with what each was left holding, and the
    // transceivers that could not be opened, when there are any.
    std::vector<std::string> Summary() const;
    int ExitCode() const;

  private:
    struct TUnit;

    // bench front
    core::TWriteJournal* JournalFor(const hid::TCustomHidDevice& device) override;
    void UnitArrived(core::TConversation& unit) override;
    void UnitIdentified(core::TConversation& unit) override;
    void UnitGone(core::TConversation& unit) override;
    void Handled() override;
    // ports
    void WriteLog(std::string_view utf8, int direction) override;
    void WriteLogBytes(std::string_view latin1, int direction) override;
    void WriteUnitLog(std::string_view unit, std::string_view utf8, int direction) override;
    void WriteUnitLogBytes(std::string_view unit, std::string_view latin1, int direction) override;
    std::string FromLocal8Bit(std::string_view text) const override;
    void ShowErrorBox(std::string_view utf8) override;
    void ShowErrorMessage(std::string_view caption, std::string_view text) override;
    void Refresh(bool) override {}
    void Close() override {}

    void Log(TUnit* unit, std::string_view text, bool latin1, int direction);
    TUnit* UnitAt(std::string_view port) const;
    TUnit* UnitOf(const core::TConversation& conversation) const;
    void Advance(TUnit& unit);
    void Identified(TUnit& unit, TWaited waited);
    void Written(TUnit& unit, TWaited waited);
    void Checked(TUnit& unit, TWaited waited);
    void StartCheck(TUnit& unit);
    void Finish(TUnit& unit, TOutcome outcome, const std::string& done = "OK");
    void TakeFacts(TUnit& unit);
    bool Waiting() const; // a transceiver is plugged in that no unit serves yet
    bool Room() const;
    void LetGo();

    TBench& bench_;
    const std::vector<TRequest> requests_;
    const TBatchOptions batch_;
    const TCommandOptions& options_;
    TBatchFront& front_;
    TDeviceView view_;
    std::unique_ptr<core::TUnitBench> units_;
    std::vector<std::unique_ptr<TUnit>> served_;        // every unit taken, in order
    std::vector<std::unique_ptr<TServedUnit>> shown_;   // what the front end sees of each
    std::map<std::string, TUnit*, std::less<>> byPort_; // the units on the bench now
    std::vector<std::string> unopened_; // "PATH (why)" of each device that could not be used
    std::string line_;                  // the log line being written (its buffer is kept)
    bool taking_ = true;
    bool stoppedNow_ = false;
    bool lookAgain_ = false;    // room was made: transceivers waiting are looked at again
    bool letGo_ = false;        // every unit let go: the batch is over
    TUnit* arriving_ = nullptr; // its journal was just asked for; its conversation comes next
};

// batch with more than one unit at a time: a result line for each unit as it finishes (the
// sequential batch's, and the port), what the person at the bench is told on err, with one
// live line per unit in progress when err is a terminal (options.session.progressBar), and
// the summary. The first Ctrl-C takes no new unit and lets those in progress finish; the
// second stops them at once.
int RunParallelBatch(TBench& bench, const std::vector<TRequest>& requests, TBatchOptions batch,
                     const TCommandOptions& options);

} // namespace cli
