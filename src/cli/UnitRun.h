#pragma once
// One unit's runs as the command line tells of them: what it checks before a run, the backup
// and the record line of each run that writes (the unit's journal), and the outcome of each
// step in words, from the unit's state once the step is over. It never waits: a session that
// serves one unit and a batch that serves several at once each wait their own way and ask it
// what came of the wait. Plain C++: the web build's command line says the same words.
#include "cli/Requests.h"
#include "link/Conversation.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// The documented exit codes.
enum class TExit : int {
    Done = 0,   // done
    Failed = 1, // the unit refused or failed a step
    Usage = 2,  // bad usage, or a value this unit does not have
    NoUnit = 3, // no unit found, or it went away
};

struct TOutcome {
    TExit exit = TExit::Done;
    std::string message; // one line; empty when there is nothing to say
    bool ok() const { return exit == TExit::Done; }
};

// What Apply would change on the connected unit.
struct TPreview {
    TOutcome outcome; // as Apply's check of the requests; its message says nothing else
    std::vector<TSetting> changed;    // in the order Apply writes them
    std::vector<std::string> changes; // "NAME: CURRENT -> NEW" for each
};

// "volume, channel"
std::string SettingNames(const std::vector<TSetting>& settings);

// What the tool does with a unit of this firmware and model, as --sim list says it:
// "settings shown and changed", "settings shown only" or "settings not shown".
const char* WhatIsShown(const std::string& firmware, const std::string& model);

// How a wait for a step ended: the step is over, or the time given ran out, or Ctrl-C came.
enum class TWaited { Over, TimedOut, Stopped };

// What a unit's runs leave behind: a backup before the first write of each run, and a line in
// the service record when it ends (the store's journal, StoreJournal()).
class TRunJournal : public core::TWriteJournal {
  public:
    virtual void Attach(const core::TConversation& conversation) = 0;
    // Whether a backup is made before each run that writes (false: --no-backup).
    virtual bool BacksUp() const = 0;
    // The last backup written, and the last failure (empty: none).
    virtual const std::string& LastBackup() const = 0;
    virtual const std::string& LastError() const = 0;
    // The last run's record line was not kept in every file it goes to.
    virtual bool RecordLost() const = 0;
    // Why the backup before the last run failed, once; none when it did not.
    virtual std::optional<std::string> TakeBackupFailure() = 0;
};

class TUnitRun final : public core::TWriteJournal {
  public:
    // A line for the person at the bench.
    using TSay = std::function<void(const std::string& line)>;

    // journal: each run that writes is backed up before its first command and recorded when
    // it ends; none: nothing is. timeoutMs: the longest wait for each step, as the messages
    // name it. program begins the lines about backups.
    TUnitRun(std::unique_ptr<TRunJournal> journal, std::int64_t timeoutMs, std::string program,
             TSay say);
    ~TUnitRun() override;
    TUnitRun(const TUnitRun&) = delete;
    TUnitRun& operator=(const TUnitRun&) = delete;

    // The unit's conversation, once it is made; the journal follows it.
    void Attach(core::TConversation& conversation);
    core::TConversation& Conversation() { return *conversation_; }
    const core::TConversation& Conversation() const { return *conversation_; }
    bool Journaled() const { return journal_ != nullptr; }

    // The serial number as --device names it; "(not read)".
    std::string SerialFound() const;
    // Whether the unit's settings are shown and read back.
    bool SettingsShown() const;
    // This user may not write to the unit (its last command could not be sent for it).
    bool WriteRefused() const;
    std::optional<TOutcome> NotWritable(const std::string& path) const;

    // Identification and read-back: the wait is over when this holds (or the unit goes).
    bool Identified() const;
    TOutcome AfterIdentification(TWaited waited, const char* phase, const std::string& path) const;

    // Chooses each request as a person would; nothing when they all fit the unit.
    TOutcome ChooseChecked(const std::vector<TRequest>& requests,
                           const params::TUnitValues* restore);
    TPreview Preview(const std::vector<TRequest>& requests, const params::TUnitValues* restore);
    // Presses Apply (or Default) after the checks: the outcome when the press ended the run
    // at once (a request that does not fit, no backup, nothing to change), else none: the
    // run is under way until RunOver().
    std::optional<TOutcome> StartApply(const std::vector<TRequest>& requests,
                                       const params::TUnitValues* restore);
    std::optional<TOutcome> StartDefault();
    bool RunOver() const;
    // The outcome of the run that StartApply or StartDefault began; path names the unit
    // when it may not be written to.
    TOutcome AfterRun(TWaited waited, const std::string& path);
    // The unit went away during the run StartApply or StartDefault began.
    TOutcome WentAway() const;
    // What Apply or Default wrote of the run under way, for a run cut short.
    std::string WrittenReport() const;

    std::string NoAnswer(const char* what) const;

  private:
    bool BeforeFirstWrite(core::TRunKind kind) override;
    void RunEnded(core::TRunKind kind, core::TRunEnd end) override;

    std::optional<TOutcome> NotBackedUp();
    TOutcome Recorded(TOutcome outcome);
    std::string SaveReport(bool acknowledged) const;
    std::string Seconds(std::int64_t ms) const;

    core::TConversation* conversation_ = nullptr;
    std::unique_ptr<TRunJournal> journal_;
    std::int64_t timeoutMs_;
    std::string program_;
    TSay say_;
    bool recordLost_ = false;       // the last run's line was not kept in the service record
    params::TIdentity runIdentity_; // the unit's, when Apply or Default was pressed
    // and its serial number (SerialFound): the run's result line begins with it, so that a
    // bench's output says which unit was written
    std::string runSerial_;
    bool runIsDefault_ = false;
    const char* runName_ = "Apply";
};

} // namespace cli
