#pragma once
// What a main thread pumped by hand (hid::TManualMainThread) needs of the operating system:
// waiting for watched sources and, on Windows, dispatching the thread's window messages, on
// which the platform's notice window depends. One definition per platform, chosen by the
// build. Main thread only.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace hid {

// Dispatches the window messages waiting for the calling thread; returns how many (always
// none where the platform has no such messages).
int DispatchThreadMessages();

// True when messages can reach the calling thread that no condition variable announces,
// so that a waiter has to look for them in short slices.
bool ThreadMessagesNeedSlices();

// Waits at most TimeoutMs for one of Sources (readable descriptors on POSIX, waitable
// handles on Windows) to be ready, and on Windows for a window message as well. Dispatches
// the messages that came, then calls OnReady with the index of each ready source. Returns
// how many messages were dispatched. With no source a POSIX system returns at once.
int WaitForSources(const std::vector<intptr_t>& Sources, int TimeoutMs,
                   const std::function<void(size_t)>& OnReady);

} // namespace hid
