#pragma once
// What a front end plugs into TConversationPorts::Journal: a backup of the unit's settings
// before a run's first write, and a line in the service record when the run ends. Made
// once both the clock and the conversation exist, then attached to the conversation.
// Everything runs on the thread that runs the conversation; the journals of several
// conversations may run at once, each on its own conversation's thread.
#include "link/Conversation.h"
#include "store/Backups.h"
#include "store/ServiceRecord.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace store {

struct TJournalOptions {
    std::string folder;                    // the backups; empty: BackupFolder()
    int keep = kKeepBackups;               // backups kept per unit; <= 0: all
    std::string record;                    // empty: RecordPath()
    std::vector<std::string> extraRecords; // written too (the command line's --record FILE)
    std::string tool;                      // "sonavelle-cli 1.4.0"
    bool backups = true;                   // false: no backup (--no-backup)
    std::string runName;                   // empty: "apply" or "default"; "restore"
    // The units are simulated: each record line says so, and the backups and record lines
    // take the PC's own time (PcClock()), not the simulation's.
    bool simulated = false;
    // The time of backups and record lines; null: the PC's for simulated units, else the
    // clock the journal is made with.
    const core::TClock* clock = nullptr;
    // Set: each record line names the port the unit is plugged in at.
    std::string port;
};

// The PC's own clock.
const core::TClock& PcClock();

class TJournal final : public core::TWriteJournal {
  public:
    // One log line each: the backup and the record written, or why not.
    using TNote = std::function<void(const std::string& line)>;
    // The backup could not be made (reason): write anyway? The window asks the user.
    using TWriteAnyway = std::function<bool(const std::string& reason)>;

    TJournal(TJournalOptions options, const core::TClock& clock, TNote note,
             TWriteAnyway writeAnyway);

    void Attach(const core::TConversation& conversation) { conversation_ = &conversation; }
    TJournalOptions& Options() { return options_; }

    bool BeforeFirstWrite(core::TRunKind kind) override;
    void RunEnded(core::TRunKind kind, core::TRunEnd end) override;

    // The last backup written (empty: none yet), and the last failure (empty: none).
    const std::string& LastBackup() const { return lastBackup_; }
    const std::string& LastError() const { return lastError_; }
    // Why the last run's record line was not kept in every file it goes to; empty: kept.
    const std::string& RecordError() const { return recordError_; }
    // The entry of the last run that ended.
    const std::optional<TRecordEntry>& LastEntry() const { return lastEntry_; }

  private:
    void Fail(const std::string& line);

    TJournalOptions options_;
    const core::TClock& clock_;
    TNote note_;
    TWriteAnyway writeAnyway_;
    const core::TConversation* conversation_ = nullptr;
    TRunStart start_;
    const core::TClock& Clock() const;

    std::string lastBackup_, lastError_, recordError_;
    std::optional<TRecordEntry> lastEntry_;
};

} // namespace store
