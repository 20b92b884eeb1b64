#pragma once
// Where the tool keeps its files, and how they write a moment.
#include "link/Conversation.h"

#include <string>

namespace store {

// The folder of the tool's data, the same for the window and the command line whatever
// names their applications carry: ~/.local/share/Sonavelle/Customize on Linux (under
// $XDG_DATA_HOME when it is set), %APPDATA%\Sonavelle\Customize on Windows. Not created here:
// whoever writes first makes it. Call it on the main thread.
std::string DataFolder();

// From this call on, DataFolder() is the folder "simulated" inside it: the programs that
// run simulated units keep their backups and record apart from real units'.
void KeepSimulatedApart();

// "2026-12-07T10:20:30Z"
std::string UtcText(const core::TTimePoint& time);
// "2026-12-07T19:20:30+09:00": the local date and time with its offset from UTC.
std::string LocalText(const core::TTimePoint& time);

} // namespace store
