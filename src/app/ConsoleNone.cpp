#include "app/Console.h"

namespace app {

// Elsewhere a program started from a terminal has the terminal's streams already.
void AttachParentConsole() {}

} // namespace app
