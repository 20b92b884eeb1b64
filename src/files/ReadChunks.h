#pragma once
// The bounded reading shared by every way a file is read; not for use outside files/.
#include "files/FileText.h"

#include <algorithm>
#include <functional>
#include <new>
#include <vector>

namespace files {

struct TChunk {
    std::size_t got = 0; // bytes read into the buffer
    bool end = false;    // nothing follows
    TFileError error = TFileError::None;
    std::string why;
};

TFileText Failed(TFileError error, std::string why);

// Calls readSome for at most the bytes asked, until it says end or error.
TFileText ReadChunks(std::size_t limit, const std::function<TChunk(char*, std::size_t)>& readSome);

} // namespace files
