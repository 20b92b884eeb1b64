#pragma once
// The command line's batch of several units at once (cli::TBatchRun), timed two ways: on a
// simulated bench in virtual time (cli::TSimBench), and on the simulated services with their
// real reader threads and the system bench's 1 ms tick on the steady clock, each unit's
// reports timed (TimedModel.h).
#include <string>
#include <vector>

namespace bench {

struct TBatchTimes {
    std::string failure; // empty when every unit was served OK
    double wallMs = 0;   // first step to the batch's end
    double clockMs = 0;  // the same by the bench's clock (virtual time, or the PC's)
    double cpuMs = 0;    // the process's CPU time meanwhile
    // Real time, Apply's exchanges of every unit: a command written to the next one, and the
    // reply read to the next command.
    std::vector<double> exchangeMs, overheadsMs;
};

// units of DW730 TONAL/201036 plugged in together and served at once (volume and voice
// guide set, saved, read back, backed up and recorded in a data folder of the run's own).
TBatchTimes VirtualBatch(int units);
// replyIntervalUs: the units' reply pacing.
TBatchTimes RealTimeBatch(int units, long replyIntervalUs);
// The intervals of the system bench's Pass() with nothing plugged in, in milliseconds.
std::vector<double> BarePassIntervals(int forMs);

} // namespace bench
