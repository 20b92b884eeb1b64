#include "files/FileText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace files {

namespace {

TFileText Failed(TFileError error, std::string why) {
    return TFileText{std::nullopt, error, std::move(why)};
}

std::string SizeText(std::size_t bytes) {
    if (bytes % kMaxFileBytes == 0) return std::to_string(bytes / kMaxFileBytes) + " MiB";
    return std::to_string(bytes) + " bytes";
}

} // namespace

TFileText ReadFileText(const std::string& path, std::size_t limit) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file)
        return Failed(TFileError::CannotOpen,
                      "cannot open (" + std::string(std::strerror(errno)) + ")");
    return ReadStreamText(file.get(), limit);
}

TFileText ReadStreamText(std::FILE* stream, std::size_t limit) {
    constexpr std::size_t kChunk = 64 * 1024;
    // A vector, not a string: its reserve takes exactly what is asked, where a string's may
    // double past the limit.
    std::vector<char> bytes;
    try {
        while (true) {
            const std::size_t have = bytes.size();
            const std::size_t want = std::min(kChunk, limit + 1 - have);
            if (bytes.capacity() < have + want)
                bytes.reserve(std::min(limit + 1, std::max(have + want, 2 * bytes.capacity())));
            bytes.resize(have + want);
            errno = 0;
            const std::size_t got = std::fread(bytes.data() + have, 1, want, stream);
            bytes.resize(have + got);
            if (bytes.size() > limit)
                return Failed(TFileError::TooLarge, "larger than " + SizeText(limit));
            if (got == want) continue;
            if (std::ferror(stream))
                return Failed(TFileError::CannotRead,
                              "cannot read (" + std::string(std::strerror(errno)) + ")");
            break;
        }
        return TFileText{std::string(bytes.begin(), bytes.end()), TFileError::None, {}};
    } catch (const std::bad_alloc&) {
        return Failed(TFileError::CannotRead, "cannot read (out of memory)");
    }
}
} // namespace files
