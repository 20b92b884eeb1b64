#include "files/FileText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// The largest single allocation since the last reset: the reader must never ask for more
// than the limit, however long the file claims or turns out to be.
std::atomic<std::size_t> gLargest{0};

} // namespace

// malloc and free pair up here; GCC cannot see that across the replaced operators.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    std::size_t seen = gLargest.load();
    while (size > seen && !gLargest.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

namespace fs = std::filesystem;
using files::TFileError;

constexpr std::size_t kLimit = 100'000;

fs::path Written(const std::string& name, std::size_t bytes) {
    const fs::path path = fs::path(testing::TempDir()) / name;
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
    return path;
}

TEST(FileText, IsReadWholeUpToTheLimitAndRefusedBeyondIt) {
    struct TCase {
        const char* what;
        std::string path;
        TFileError error;
        std::size_t bytes; // read, when there is no error
    };
    const TCase cases[] = {
        {"empty", Written("empty.txt", 0).string(), TFileError::None, 0},
        {"exactly the limit", Written("full.txt", kLimit).string(), TFileError::None, kLimit},
        {"one byte over", Written("over.txt", kLimit + 1).string(), TFileError::TooLarge, 0},
        {"missing", (fs::path(testing::TempDir()) / "none.txt").string(), TFileError::CannotOpen,
         0},
#ifndef _WIN32
        // No size known in advance, and no end.
        {"endless device", "/dev/zero", TFileError::TooLarge, 0},
        {"folder", testing::TempDir(), TFileError::CannotRead, 0},
#endif
    };
    for (const TCase& c : cases) {
        gLargest = 0;
        const files::TFileText got = files::ReadFileText(c.path, kLimit);
        EXPECT_LE(gLargest.load(), kLimit + 1) << c.what;
        EXPECT_EQ(got.error, c.error) << c.what << ": " << got.why;
        EXPECT_EQ(got.text.value_or("?").size(), got ? c.bytes : 1) << c.what;
    }
    EXPECT_EQ(files::ReadFileText(Written("over.txt", kLimit + 1).string(), kLimit).why,
              "larger than 100000 bytes");
}

#ifndef _WIN32
TEST(FileText, FromAPipeIsReadToItsEnd) {
    const fs::path fifo = fs::path(testing::TempDir()) / "file_text_fifo";
    fs::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // More than one read's worth, in several writes: a short read is not the end.
    std::thread writer([&] {
        std::ofstream out(fifo, std::ios::binary);
        for (int i = 0; i < 5; ++i)
            out << std::string(30'000, static_cast<char>('a' + i)) << std::flush;
    });
    const files::TFileText got = files::ReadFileText(fifo.string(), 150'000);
    writer.join();
    fs::remove(fifo);
    ASSERT_TRUE(got) << got.why;
    EXPECT_EQ(got.text->size(), 150'000u);
    EXPECT_EQ(got.text->back(), 'e');
}
#endif

} // namespace
