#include "cmdline/Console.h"

namespace cmdline {

// Elsewhere a program started from a terminal has the terminal's streams already.
void AttachParentConsole() {}

} // namespace cmdline
