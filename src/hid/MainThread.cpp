#include "hid/MainThread.h"

#include <chrono>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <poll.h>
#endif

namespace hid {

#ifdef _WIN32
namespace {

// Dispatches the window messages waiting for the calling thread; returns how many.
int DispatchWindowMessages() {
    int n = 0;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to take: leave it for the loop that asked for it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        ++n;
    }
    return n;
}

} // namespace
#endif

void TQueuedMainThread::Send(TOperation Op) {
    if (InMainThread()) {
        RunGuarded(Op);
        return;
    }
    auto item = std::make_shared<TSend>();
    item->Op = std::move(Op);
    {
        std::lock_guard lock(lock_);
        sends_.push_back(item);
    }
    cv_.notify_all();
    Poke();
    std::unique_lock lock(lock_);
    cv_.wait(lock, [&] { return item->Done; });
    // The worker keeps going; what went wrong belongs to the main thread's handler.
    (void)item->Error;
}

int TQueuedMainThread::Drain() {
    for (int ran = 0;; ++ran) {
        std::shared_ptr<TSend> item;
        {
            std::lock_guard lock(lock_);
            if (sends_.empty()) return ran;
            item = sends_.front();
            sends_.pop_front();
        }
        std::exception_ptr error;
        try {
            item->Op();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(lock_);
            item->Done = true;
        }
        cv_.notify_all();
        if (error) {
            // The worker has been released before the error is reported, so a handler that
            // rethrows cannot leave it blocked.
            if (errorHandler_)
                errorHandler_(error);
            else
                std::rethrow_exception(error);
        }
    }
}

void TQueuedMainThread::ServeUntil(const std::function<bool()>& Done) {
    Serve(Done, nullptr);
}

bool TQueuedMainThread::ServeFor(const std::function<bool()>& Done, int TimeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    return Serve(Done, &deadline);
}

bool TQueuedMainThread::Serve(const std::function<bool()>& Done,
                              const std::chrono::steady_clock::time_point* Deadline) {
    for (;;) {
        // The wake count is taken before Done() is tested: a Wake() that comes between the
        // test and the wait must still end the wait, or it is lost and the wait never ends.
        uint64_t seen;
        {
            std::lock_guard lock(lock_);
            seen = wakes_;
        }
        Drain();
        if (Done()) return true;
        std::unique_lock lock(lock_);
        const auto ready = [&] { return !sends_.empty() || wakes_ != seen; };
        if (!Deadline) {
            cv_.wait(lock, ready);
        } else if (!cv_.wait_until(lock, *Deadline, ready)) {
            lock.unlock();
            return Done();
        }
    }
}

void TQueuedMainThread::Wake() {
    {
        std::lock_guard lock(lock_);
        ++wakes_;
    }
    cv_.notify_all();
}

void TQueuedMainThread::SetErrorHandler(std::function<void(std::exception_ptr)> Handler) {
    errorHandler_ = std::move(Handler);
}

size_t TQueuedMainThread::PendingSends() {
    std::lock_guard lock(lock_);
    return sends_.size();
}

void TQueuedMainThread::RunGuarded(const TOperation& Op) {
    if (!errorHandler_) {
        Op();
        return;
    }
    try {
        Op();
    } catch (...) {
        errorHandler_(std::current_exception());
    }
}

// --- TManualMainThread ---

void TManualMainThread::Post(TOperation Op) {
    {
        std::lock_guard lock(postLock_);
        posts_.push_back(std::move(Op));
        ++pokes_;
    }
    postCv_.notify_all();
}

void TManualMainThread::Poke() {
    {
        std::lock_guard lock(postLock_);
        ++pokes_;
    }
    postCv_.notify_all();
}

size_t TManualMainThread::PostedCount() {
    std::lock_guard lock(postLock_);
    return posts_.size();
}

bool TManualMainThread::RunOnePost() {
    TOperation op;
    {
        std::lock_guard lock(postLock_);
        if (posts_.empty()) return false;
        op = std::move(posts_.front());
        posts_.pop_front();
    }
    RunGuarded(op);
    return true;
}

int TManualMainThread::RunPending() {
    int ran = 0;
    for (;;) {
        ran += Drain();
        if (RunOnePost()) {
            ++ran;
            continue;
        }
#ifdef _WIN32
        if (const int n = DispatchWindowMessages(); n > 0) {
            ran += n;
            continue;
        }
#endif
        break;
    }
    return ran;
}

int TManualMainThread::Watch(intptr_t Source, TOperation OnReady) {
    const int id = nextWatch_++;
    watches_[id] = {Source, std::move(OnReady)};
    return id;
}

void TManualMainThread::Unwatch(int Id) {
    watches_.erase(Id);
}

int TManualMainThread::RunWatches(int TimeoutMs) {
#ifdef _WIN32
    // The watched handles and the thread's window messages, waited for together.
    std::vector<HANDLE> handles;
    std::vector<int> ids;
    for (const auto& [id, watch] : watches_) {
        if (handles.size() == MAXIMUM_WAIT_OBJECTS - 1) break;
        handles.push_back(reinterpret_cast<HANDLE>(watch.first));
        ids.push_back(id);
    }
    const DWORD count = static_cast<DWORD>(handles.size());
    const DWORD r = MsgWaitForMultipleObjectsEx(
        count, handles.data(), static_cast<DWORD>(TimeoutMs), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    int ran = DispatchWindowMessages();
    if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + count) {
        for (size_t i = 0; i < handles.size(); ++i) {
            if (i != r - WAIT_OBJECT_0 && WaitForSingleObject(handles[i], 0) != WAIT_OBJECT_0)
                continue;
            auto it = watches_.find(ids[i]);
            if (it == watches_.end()) continue;
            const TOperation op = it->second.second;
            ++ran;
            RunGuarded(op);
        }
    }
    return ran;
#else
    if (watches_.empty()) return 0;
    std::vector<pollfd> fds;
    std::vector<int> ids;
    for (const auto& [id, watch] : watches_) {
        fds.push_back({static_cast<int>(watch.first), POLLIN, 0});
        ids.push_back(id);
    }
    if (poll(fds.data(), fds.size(), TimeoutMs) <= 0) return 0;
    int ran = 0;
    for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0) continue;
        auto it = watches_.find(ids[i]);
        if (it == watches_.end()) continue;
        const TOperation op = it->second.second;
        ++ran;
        RunGuarded(op);
    }
    return ran;
#endif
}

int TManualMainThread::WaitAndRun(int TimeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
    for (;;) {
        uint64_t seen;
        {
            std::lock_guard lock(postLock_);
            seen = pokes_;
        }
        int ran = RunPending() + RunWatches(0);
        if (ran > 0) return ran;
        const auto now = Clock::now();
        if (now >= deadline) return 0;
#ifdef _WIN32
        // Window messages cannot wake the condition variable: always look in slices.
        const bool slices = true;
#else
        const bool slices = !watches_.empty();
#endif
        if (slices) {
            // Descriptors and the queue cannot be waited on together portably: look at the
            // descriptors in short slices and the queue between them.
            if (RunWatches(2) > 0) return 1 + RunPending();
            continue;
        }
        std::unique_lock lock(postLock_);
        postCv_.wait_until(lock, deadline, [&] { return pokes_ != seen; });
    }
}

bool TManualMainThread::RunUntil(const std::function<bool()>& Done, int TimeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
    RunPending();
    while (!Done()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        WaitAndRun(static_cast<int>(left.count()));
    }
    return true;
}

} // namespace hid
