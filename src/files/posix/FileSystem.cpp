// Files on a POSIX system (Linux; also what Emscripten offers).
#include "files/FileText.h"
#include "files/ReadChunks.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/vfs.h>
#endif

#include <cerrno>
#include <cstring>

namespace files {

namespace {

constexpr int kWaitSliceMs = 200;

std::string Reason(int error) {
    return std::strerror(error);
}

class TFd {
  public:
    explicit TFd(int fd) : fd_(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int Get() const { return fd_; }
    // Closes now: a close that fails loses what was written.
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

// A pipe made by pipe(2) (standard input, "<(...)", /dev/fd/N) has had its writer from the
// start: it reads to its end at once. A named FIFO may not have been opened for writing yet,
// and before that a read finds its end: wait until a writer has come.
bool WaitForWriter(int fd, const struct stat& status) {
    if (!S_ISFIFO(status.st_mode)) return false;
#if defined(__linux__)
    constexpr long kPipeFs = 0x50495045;
    struct statfs fs {};
    if (::fstatfs(fd, &fs) == 0 && static_cast<long>(fs.f_type) == kPipeFs) return false;
#else
    (void)fd;
#endif
    return true;
}

} // namespace

TFileText ReadFileText(const std::string& path, std::size_t limit, TStopCheck stop) {
    // Not blocking: opening a FIFO waits for a writer, and a signal handler installed with
    // SA_RESTART would have that wait go on after Ctrl-C.
    TFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0)
        return Failed(TFileError::CannotOpen, "cannot open (" + Reason(errno) + ")");
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0)
        return Failed(TFileError::CannotRead, "cannot read (" + Reason(errno) + ")");
    bool wait = WaitForWriter(file.Get(), status);
    return ReadChunks(limit, [&](char* into, std::size_t want) {
        TChunk chunk;
        for (;;) {
            if (stop && stop()) {
                chunk.error = TFileError::Stopped;
                chunk.why = "interrupted";
                return chunk;
            }
            if (wait) {
                pollfd ready{file.Get(), POLLIN, 0};
                const int polled = ::poll(&ready, 1, kWaitSliceMs);
                if (polled < 0 && errno != EINTR) {
                    chunk.error = TFileError::CannotRead;
                    chunk.why = "cannot read (" + Reason(errno) + ")";
                    return chunk;
                }
                if (polled <= 0) continue;
                wait = false;
            }
            const ssize_t got = ::read(file.Get(), into, want);
            if (got > 0) {
                chunk.got = static_cast<std::size_t>(got);
                return chunk;
            }
            if (got == 0) {
                chunk.end = true;
                return chunk;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                wait = true;
                continue;
            }
            chunk.error = TFileError::CannotRead;
            chunk.why = "cannot read (" + Reason(errno) + ")";
            return chunk;
        }
    });
}

std::string WriteNewFile(const std::string& path, std::string_view text) {
    TFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.Get() < 0) return errno == EEXIST ? std::string(kExists) : Reason(errno);
    const auto failed = [&](int error) {
        file.Close();
        ::unlink(path.c_str());
        return Reason(error);
    };
    while (!text.empty()) {
        const ssize_t wrote = ::write(file.Get(), text.data(), text.size());
        if (wrote < 0 && errno == EINTR) continue;
        // A file-size limit or a full disk: a short write first, then the error.
        if (wrote <= 0) return failed(wrote < 0 ? errno : ENOSPC);
        text.remove_prefix(static_cast<std::size_t>(wrote));
    }
    // The disk may report a write it could not keep only here.
    if (::fsync(file.Get()) != 0) return failed(errno);
    if (file.Close() != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        return Reason(error);
    }
    return {};
}

std::string MoveNoReplace(const std::string& from, const std::string& to) {
    // link() never replaces an existing name, where rename() would.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
    } else if (errno == EEXIST) {
        return std::string(kExists);
    } else if (errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP || errno == ENOSYS) {
        // A file system without hard links (FAT on a stick): the names are this process's own
        // choice, so a file that appears between the look and the rename is another writer's
        // mistake, not a race this tool can lose.
        struct stat status {};
        if (::lstat(to.c_str(), &status) == 0) return std::string(kExists);
        if (::rename(from.c_str(), to.c_str()) != 0) return Reason(errno);
    } else {
        return Reason(errno);
    }
    const std::size_t slash = to.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : to.substr(0, slash + 1);
    TFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems cannot sync a folder (EINVAL): the name is then as safe as it gets.
    if (dir.Get() >= 0 && ::fsync(dir.Get()) != 0 && errno != EINVAL && errno != EROFS)
        return Reason(errno);
    return {};
}

} // namespace files
