#pragma once
// A disk that takes only so much, without filling one: `body` runs in a child process whose
// files cannot grow past `bytes`, as under "(trap '' XFSZ; ulimit -f N; ...)", so that a
// write past the limit fails with EFBIG instead of killing the process. POSIX only.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <functional>

namespace testing_support {

// True when the child ran body and body returned true.
inline bool WithFileSizeLimit(std::size_t bytes, const std::function<bool()>& body) {
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, bytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace testing_support
