#pragma once
// The commands of sonavelle-cli, each on a bench, printing its results to out and what a
// person at the bench is told to err. Each returns the exit code (see TExit).
#include "cli/Bench.h"
#include "cli/Requests.h"
#include "cli/Session.h"

#include <cstdio>
#include <vector>

namespace cli {

struct TCommandOptions {
    TSessionOptions session;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    const char* program = "sonavelle-cli";
};

// The HID devices present, one line each; the one the tool would take is marked.
int RunList(TBench& bench, const TCommandOptions& options);
// Identity and settings of the unit plugged in, as text or as one JSON object.
int RunShow(TBench& bench, bool json, const TCommandOptions& options);
// Chooses the settings and presses Apply.
int RunSet(TBench& bench, const std::vector<TRequest>& requests, const TCommandOptions& options);
// Presses Default.
int RunDefault(TBench& bench, const TCommandOptions& options);
// One unit after another: apply, read back, one result line each; stops on Ctrl-C, after
// maxUnits units (0: no limit), or when a simulated bench has no unit left.
int RunBatch(TBench& bench, const std::vector<TRequest>& requests, int maxUnits,
             const TCommandOptions& options);

} // namespace cli
