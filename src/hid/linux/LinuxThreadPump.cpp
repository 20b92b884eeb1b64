// A POSIX thread has no window messages; its sources are file descriptors.
#include "hid/ThreadPump.h"

#include <poll.h>

namespace hid {

int DispatchThreadMessages() {
    return 0;
}

bool ThreadMessagesNeedSlices() {
    return false;
}

int WaitForSources(const std::vector<intptr_t>& Sources, int TimeoutMs,
                   const std::function<void(size_t)>& OnReady) {
    if (Sources.empty()) return 0;
    std::vector<pollfd> fds;
    for (const intptr_t source : Sources)
        fds.push_back({static_cast<int>(source), POLLIN, 0});
    if (poll(fds.data(), fds.size(), TimeoutMs) <= 0) return 0;
    for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents != 0) OnReady(i);
    }
    return 0;
}

} // namespace hid
