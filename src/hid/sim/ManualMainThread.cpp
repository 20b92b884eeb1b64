#include "hid/sim/ManualMainThread.h"
#include "hid/ThreadPump.h"

#include <chrono>
#include <vector>

namespace hid {

void TManualMainThread::Post(TOperation Op) {
    {
        std::lock_guard lock(postLock_);
        posts_.push_back(std::move(Op));
        postCount_ = posts_.size();
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
    // Only this thread takes posts: none counted means none to take, without the lock.
    if (postCount_.load() == 0) return false;
    TOperation op;
    {
        std::lock_guard lock(postLock_);
        if (posts_.empty()) return false;
        op = std::move(posts_.front());
        posts_.pop_front();
        postCount_ = posts_.size();
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
        if (const int n = DispatchThreadMessages(); n > 0) {
            ran += n;
            continue;
        }
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
    std::vector<intptr_t> sources;
    std::vector<int> ids;
    for (const auto& [id, watch] : watches_) {
        sources.push_back(watch.first);
        ids.push_back(id);
    }
    int ran = 0;
    const int dispatched = WaitForSources(sources, TimeoutMs, [&](size_t Index) {
        // An operation run before may have ended this watch.
        auto it = watches_.find(ids[Index]);
        if (it == watches_.end()) return;
        const TOperation op = it->second.second;
        ++ran;
        RunGuarded(op);
    });
    return dispatched + ran;
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
        if (ThreadMessagesNeedSlices() || !watches_.empty()) {
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
