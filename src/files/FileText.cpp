#include "files/FileText.h"

#include "files/ReadChunks.h"

#include <cerrno>
#include <cstring>

namespace files {

namespace {

std::string SizeText(std::size_t bytes) {
    if (bytes % kMaxFileBytes == 0) return std::to_string(bytes / kMaxFileBytes) + " MiB";
    return std::to_string(bytes) + " bytes";
}

} // namespace

TFileText Failed(TFileError error, std::string why) {
    return TFileText{std::nullopt, error, std::move(why)};
}

TFileText ReadChunks(std::size_t limit, const std::function<TChunk(char*, std::size_t)>& readSome) {
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
            const TChunk chunk = readSome(bytes.data() + have, want);
            bytes.resize(have + chunk.got);
            if (bytes.size() > limit)
                return Failed(TFileError::TooLarge, "larger than " + SizeText(limit));
            if (chunk.error != TFileError::None) return Failed(chunk.error, chunk.why);
            if (chunk.end) break;
        }
        return TFileText{std::string(bytes.begin(), bytes.end()), TFileError::None, {}};
    } catch (const std::bad_alloc&) {
        return Failed(TFileError::CannotRead, "cannot read (out of memory)");
    }
}

TFileText ReadStreamText(std::FILE* stream, std::size_t limit) {
    return ReadChunks(limit, [stream](char* into, std::size_t want) {
        errno = 0;
        TChunk chunk;
        chunk.got = std::fread(into, 1, want, stream);
        if (chunk.got == want) return chunk;
        if (std::ferror(stream)) {
            chunk.error = TFileError::CannotRead;
            chunk.why = "cannot read (" + std::string(std::strerror(errno)) + ")";
        }
        chunk.end = true;
        return chunk;
    });
}

} // namespace files
