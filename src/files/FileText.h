#pragma once
// Reads a whole file the user names (a scenario, a unit file, a settings file) without ever
// holding more than a limit far above any real one: /dev/zero, a FIFO or a huge file is
// refused in one line instead of taking all memory. Plain C++, no Qt.
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

namespace files {

inline constexpr std::size_t kMaxFileBytes = 1 << 20;

enum class TFileError { None, CannotOpen, CannotRead, TooLarge };

struct TFileText {
    std::optional<std::string> text; // the whole file; empty on any error
    TFileError error = TFileError::None;
    std::string why; // "cannot open (REASON)", "cannot read (REASON)", "larger than 1 MiB"
    explicit operator bool() const { return text.has_value(); }
};

// Holds at most limit + 1 bytes at any time: one byte past the limit tells a file that is
// too large from one that is exactly the limit, whether or not its size is known in advance.
TFileText ReadFileText(const std::string& path, std::size_t limit = kMaxFileBytes);
// The same, from a stream already open (standard input); the stream is left open.
TFileText ReadStreamText(std::FILE* stream, std::size_t limit = kMaxFileBytes);

} // namespace files
