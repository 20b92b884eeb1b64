#include "hid/MainThread.h"

#include <chrono>

namespace hid {

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

} // namespace hid
