#pragma once
// The commands of sonavelle-cli, each on a bench, printing its results to out and what a
// person at the bench is told to err. Each returns the exit code (see TExit).
#include "cli/Bench.h"
#include "cli/Requests.h"
#include "cli/Session.h"
#include "store/Backups.h"
#include "store/UnitJson.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct TCommandOptions {
    TSessionOptions session;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    const char* program = "sonavelle-cli";
    // set, batch: check the settings against each unit and say what would change; nothing
    // is written.
    bool dryRun = false;
    // set, default, batch, restore: a backup before the first write of each run (false:
    // --no-backup), and how many backups of a unit are kept (<= 0: all).
    bool backups = true;
    int keepBackups = store::kKeepBackups;
    // batch: files the service record's lines go to as well (--record FILE).
    std::vector<std::string> records;
    // restore: a backup of another unit (by its serial number) is restored too.
    bool anyUnit = false;
};

// A batch's line for a unit: "SERIAL\tMODEL\tFIRMWARE\tRESULT", RESULT done or "FAILED: ...".
std::string ResultLine(const store::TUnitFacts& facts, const TOutcome& outcome,
                       const std::string& done);
// After Apply, the check read-back's outcome: its failure with what the unit holds (written:
// Apply changed a setting), or the first request the unit does not hold now.
TOutcome CheckedAgainst(const core::TConversation& unit, const std::vector<TRequest>& requests,
                        TOutcome readBack, bool written);
// A batch's unit whose serial number was not read fails: the record cannot tell it apart.
TOutcome WithSerial(bool serialRead, TOutcome outcome, bool dryRun);

// The simulated presets --sim takes, one a line: the name, a tab, what the unit shows.
int RunSimList(const TCommandOptions& options);
// The settings in the file at path, or on in when path is "-" ("(standard input)" in the
// messages); at most files::kMaxFileBytes either way.
TRequests LoadSettingsFrom(const std::string& path, std::FILE* in = stdin);
// The HID devices present, one line each; the one the tool would take (with --device, the
// one that would be taken for it) is marked.
int RunList(TBench& bench, const TCommandOptions& options);
// Identity and settings of the unit plugged in, as text or as one JSON object.
int RunShow(TBench& bench, bool json, const TCommandOptions& options);
// Chooses the settings and presses Apply (with dryRun, says what Apply would change).
int RunSet(TBench& bench, const std::vector<TRequest>& requests, const TCommandOptions& options);
// Presses Default.
int RunDefault(TBench& bench, const TCommandOptions& options);
// One unit after another: apply, read back, one result line each; stops on Ctrl-C, after
// maxUnits units (0: no limit), or when a simulated bench has no unit left. The first Ctrl-C
// lets the unit in progress be finished; a second, or one while waiting for a unit, stops
// at once.
int RunBatch(TBench& bench, const std::vector<TRequest>& requests, int maxUnits,
             const TCommandOptions& options);
// Restores the settings in the file at `from` (a backup or any settings file; empty: the
// newest backup of the unit plugged in) as set --from does. A backup of another model or
// firmware brings back what this unit has and names the rest; one of another serial number
// is refused unless anyUnit.
int RunRestore(TBench& bench, const std::string& from, const TCommandOptions& options);
// The backups of the unit plugged in, newest first, with the settings each would change.
int RunRestoreList(TBench& bench, const TCommandOptions& options);
// The service record (store::RecordPath()), one line per run or as a spreadsheet; only the
// runs of the unit `serial` when it is given. No unit needed.
int RunRecord(bool csv, const std::optional<std::string>& serial, const TCommandOptions& options);

} // namespace cli
