#pragma once
// Reads a whole file the user names (a scenario, a unit file, a settings file) without ever
// holding more than a limit far above any real one: /dev/zero, a FIFO or a huge file is
// refused in one line instead of taking all memory. Plain C++, no Qt.
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace files {

inline constexpr std::size_t kMaxFileBytes = 1 << 20;

enum class TFileError { None, CannotOpen, CannotRead, TooLarge, Stopped };

struct TFileText {
    std::optional<std::string> text; // the whole file; empty on any error
    TFileError error = TFileError::None;
    // "cannot open (REASON)", "cannot read (REASON)", "larger than 1 MiB", "interrupted"
    std::string why;
    explicit operator bool() const { return text.has_value(); }
};

// Asked between waits: true ends the read as Stopped (Ctrl-C). Callable from any thread.
using TStopCheck = bool (*)();

// Holds at most limit + 1 bytes at any time: one byte past the limit tells a file that is
// too large from one that is exactly the limit, whether or not its size is known in advance.
// A FIFO or a terminal is waited on in short slices, so that `stop` ends a wait for a writer
// that never comes; a regular file is read at once.
TFileText ReadFileText(const std::string& path, std::size_t limit = kMaxFileBytes,
                       TStopCheck stop = nullptr);
// The same, from a stream already open (standard input); the stream is left open.
TFileText ReadStreamText(std::FILE* stream, std::size_t limit = kMaxFileBytes);

// Writing a file whole or not at all, in the folder it belongs in (paths in UTF-8). Each
// returns the system's reason on failure, empty on success.
//
// Creates path, which must not exist yet (else "exists"), with text, and has it on the disk
// (flushed and synced) before it returns; on failure nothing is left at path.
inline constexpr std::string_view kExists = "exists";
std::string WriteNewFile(const std::string& path, std::string_view text);
// Gives the file `from` the name `to` in the same folder, never replacing a file called `to`
// (then "exists"); the folder's entry is synced to the disk.
std::string MoveNoReplace(const std::string& from, const std::string& to);

} // namespace files
