#pragma once
// Whole conversations timed in Qt's real event loop, printed as a table of figures with
// their targets.

namespace bench {

// AppStartMs: what making the QApplication took, counted into the start-up figure.
// Returns the number of figures that missed their target.
int RunHarness(double AppStartMs);

} // namespace bench
