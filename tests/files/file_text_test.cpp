#include "files/FileText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <thread>

#ifndef _WIN32
#include "support/FileSizeLimit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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

// Asked before each wait: the third time, the user has pressed Ctrl-C.
std::atomic<int> gStopChecks{0};
bool StopOnThirdCheck() {
    return ++gStopChecks >= 3;
}

TEST(FileText, APipeWithoutAWriterIsAWaitThatTheStopEnds) {
    const fs::path fifo = fs::path(testing::TempDir()) / "file_text_lonely_fifo";
    fs::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    gStopChecks = 0;
    const files::TFileText got = files::ReadFileText(fifo.string(), kLimit, &StopOnThirdCheck);
    fs::remove(fifo);
    EXPECT_EQ(got.error, TFileError::Stopped) << got.why;
    EXPECT_EQ(got.why, "interrupted");
    EXPECT_EQ(gStopChecks.load(), 3);
}

TEST(FileText, AnUnnamedPipeIsReadOnceToItsEndWhateverItHolds) {
    // As "cat FILE | tool --from /dev/stdin" and "<(cat FILE)" give it: a pipe whose writer
    // may already be gone.
    for (const std::string& text : {std::string(), std::string("volume = 2\n")}) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        ASSERT_EQ(::write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(ends[1]);
        const files::TFileText got =
            files::ReadFileText("/dev/fd/" + std::to_string(ends[0]), kLimit);
        ::close(ends[0]);
        ASSERT_TRUE(got) << got.why;
        EXPECT_EQ(*got.text, text);
    }
}

// ---- a file written whole or not at all ---------------------------------------------------

std::string Contents(const fs::path& path) {
    const files::TFileText got = files::ReadFileText(path.string());
    return got ? *got.text : "(" + got.why + ")";
}

TEST(NewFile, IsWrittenWholeAndNeverReplacesAFile) {
    const fs::path dir = fs::path(testing::TempDir()) / "new_file";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string a = (dir / "a").string(), b = (dir / "b").string();
    EXPECT_EQ(files::WriteNewFile(a, "first"), "");
    EXPECT_EQ(files::WriteNewFile(a, "second"), files::kExists);
    EXPECT_EQ(Contents(a), "first");
    EXPECT_EQ(files::WriteNewFile(b, "other"), "");
    EXPECT_EQ(files::MoveNoReplace(a, b), files::kExists);
    EXPECT_EQ(Contents(a), "first");
    EXPECT_EQ(Contents(b), "other");
    const std::string c = (dir / "c").string();
    EXPECT_EQ(files::MoveNoReplace(a, c), "");
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(Contents(c), "first");
    EXPECT_NE(files::WriteNewFile((dir / "none" / "d").string(), "x"), "");
}

TEST(NewFile, CutShortByAFileSizeLimitIsAnErrorAndLeavesNothing) {
    const fs::path dir = fs::path(testing::TempDir()) / "new_file_limit";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = (dir / "big").string();
    EXPECT_TRUE(testing_support::WithFileSizeLimit(
        1024,
        [&] { return files::WriteNewFile(path, std::string(4096, 'x')) == std::strerror(EFBIG); }))
        << "not failed with \"" << std::strerror(EFBIG) << "\"";
    EXPECT_FALSE(fs::exists(path));
}
#endif

} // namespace
