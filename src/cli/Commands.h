#pragma once
// The commands of sonavelle-cli, each on a bench, printing its results to out and what a
// person at the bench is told to err. Each returns the exit code (see TExit).
#include "cli/Bench.h"
#include "cli/Requests.h"
#include "cli/Session.h"

#include <cstdio>
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
};

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

} // namespace cli
