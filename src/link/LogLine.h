#pragma once
// The log line every front end writes (the window's pane and --log, the command line's
// --log, the scenario runner's printed log): "yy/MM/dd HH:mm:ss zzz," of the local date and
// time, then ">>" (sent), "<<" (received) or two blanks (a note), then the text without its
// trailing blanks and control characters.
#include <cstdint>
#include <string>
#include <string_view>

namespace core {

// wallMs: the local date and time, counted as if it were UTC (core::TTimePoint::wallMs).
std::string FormatLogLine(std::int64_t wallMs, std::string_view utf8, int direction);

} // namespace core
