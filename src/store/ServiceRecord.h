#pragma once
// The service record: one JSON object per line for each run that wrote to a unit, in
// DataFolder()/service-record.jsonl, appended by the window and the command line alike
// (at the same time, too) and read back as a list or a spreadsheet.
#include "link/Conversation.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace store {

using TNamedValues = std::map<std::string, std::string>; // setting name -> value

// What a run needs of the unit as it was before its first write: a unit that goes away
// during the run takes its identity off the conversation.
struct TRunStart {
    params::TIdentity identity;
    std::optional<std::string> serial; // escaped, as "show --json"; none: not read
    std::string model, firmware, language;
    TNamedValues before; // what the unit held
    TNamedValues chosen; // what the run changes (Apply: the settings counted as changed)
    std::optional<std::string> backup; // the backup's file name
};
TRunStart RunStart(const core::TConversation& conversation, core::TRunKind kind);

struct TRecordEntry {
    std::string utc, local, tool;
    std::string run; // "apply", "default" or "restore"
    std::optional<std::string> serial;
    std::string model, firmware, language;
    TNamedValues before, chosen;
    // The settings of this unit whose every command the unit acknowledged (Apply writes the
    // others too, back as the unit has them; they are not listed).
    TNamedValues written;
    // "saved", "save not confirmed", "refused", "write failed", "went away", "not finished"
    std::string result;
    std::optional<std::string> command, reply; // a refusal: the command, and the answer
    std::optional<std::string> backup;
    // A simulated unit's run: its line says so ("simulated": true), a real one's carries no
    // such field.
    bool simulated = false;
    // Where the unit was plugged in, for a run of a batch that served several units at once
    // (two may have the same serial number); other lines carry no such field.
    std::optional<std::string> port;
    bool operator==(const TRecordEntry&) const = default;
};

std::string RunName(core::TRunKind kind);

// The record of a run that has ended as `end`, from its start and the conversation's
// LastRun().
TRecordEntry MakeEntry(const core::TConversation& conversation, core::TRunKind kind,
                       core::TRunEnd end, const TRunStart& start, const core::TTimePoint& now,
                       const std::string& tool);

// DataFolder()/service-record.jsonl
std::string RecordPath();

// Adds the entry as one line, under a lock beside the file (FILE.lock), in one write; a
// last line torn by a crash is ended first. The folder is made when missing. A lock left
// by a process that no longer runs (or left empty by one killed as it made it) is taken
// over at once. Threads of one process append one after the other, and never take each
// other's lock for one left behind. Returns the reason on failure, empty on success.
std::string AppendRecord(const std::string& path, const TRecordEntry& entry);

// The longest line ReadRecord takes; a longer one is skipped unread, as damaged.
inline constexpr long long kMaxRecordLine = 1 << 20;

struct TRecord {
    std::vector<TRecordEntry> entries;
    int skipped = 0;   // lines that are not a whole entry (torn, damaged or over-long)
    std::string error; // the file could not be read (a missing one is an empty record)
};
// Read line by line: the memory taken does not grow with a damaged line's length.
TRecord ReadRecord(const std::string& path);

// The entries of one unit (serial as the record has it).
std::vector<TRecordEntry> OfSerial(const std::vector<TRecordEntry>& entries,
                                   const std::string& serial);

// A spreadsheet: a header row, then one row per run; RFC 4180 quoting, CR LF line ends;
// name=value lists joined with "; ". A field beginning as a formula would (=, +, -, @, tab,
// CR) is quoted after a single quote, so that a spreadsheet shows it as text. The last
// column says "yes" for a simulated unit's run.
std::string RecordCsv(const std::vector<TRecordEntry>& entries);

} // namespace store
