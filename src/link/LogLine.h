#pragma once
// The log line every front end writes (the window's pane and --log, the command line's
// --log, the scenario runner's printed log): "yy/MM/dd HH:mm:ss zzz," of the local date and
// time, then ">>" (sent), "<<" (received) or two blanks (a note), then the text without its
// trailing blanks and control characters.
//
// A sink builds each line once, in the encoding it keeps: the head is ASCII, and the body
// is the text as it came (UTF-8, or the unit's bytes, one byte one character).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace core {

// The stamp and the direction's two characters.
inline constexpr std::size_t kLogHeadLength = 24;
using TLogHead = char[kLogHeadLength];

// wallMs: the local date and time, counted as if it were UTC (core::TTimePoint::wallMs).
void FormatLogHead(std::int64_t wallMs, int direction, TLogHead& head);
// The text as the line shows it: without its trailing blanks and control characters. Every
// byte of a multi-byte UTF-8 character is above 0x7F, and bytes up to 0x20 are the same
// characters in ISO 8859-1: the cut is the same in either encoding.
std::string_view LogBody(std::string_view text);

// Days since 1970-01-01 to year, month and day (proleptic Gregorian).
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);

// The whole line, in UTF-8.
std::string FormatLogLine(std::int64_t wallMs, std::string_view utf8, int direction);

} // namespace core
