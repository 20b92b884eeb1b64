#pragma once
// Where the tool keeps its files, and how they write a moment.
#include "link/Conversation.h"
#include "store/TimeText.h"

#include <string>

namespace store {

// The folder of the tool's data, the same for the window and the command line whatever
// names their applications carry: ~/.local/share/Sonavelle/Customize on Linux (under
// $XDG_DATA_HOME when it is set), %APPDATA%\Sonavelle\Customize on Windows. Not created here:
// whoever writes first makes it. Safe from any thread. On Windows the folder is worked out on
// the first call, under the tool's names lent to the application for a moment: a front end
// makes that call on its main thread as it starts, before other threads run.
std::string DataFolder();

// From this call on, DataFolder() is the folder "simulated" inside it: the programs that
// run simulated units keep their backups and record apart from real units'. Called after
// DataFolder(), it still switches, and paths taken before stay where they were: call it as
// the program starts, before anything is written. Any thread may call it.
void KeepSimulatedApart();

} // namespace store
