#pragma once
// Deterministic main thread for tests and the demo: nothing runs until its owner pumps.
//
// On Windows it also dispatches the calling thread's window messages, in RunPending and
// WaitAndRun, as Qt's event loop would: the platform's notice window depends on them.
#include "hid/MainThread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace hid {

class TManualMainThread final : public TQueuedMainThread {
  public:
    void Post(TOperation Op) override;
    int Watch(intptr_t Source, TOperation OnReady) override;
    void Unwatch(int Id) override;

    // Runs every posted operation and hand-over queued so far (and those they queue);
    // returns how many ran.
    int RunPending();
    // Runs the oldest posted operation, if any (not the hand-overs); false when none waited.
    bool RunOnePost();
    // Blocks until a hand-over or post is queued or a watched source is ready, at most
    // TimeoutMs, then runs what is ready. Returns how many operations ran.
    int WaitAndRun(int TimeoutMs);
    // Pumps until Done() is true; false when TimeoutMs passed first.
    bool RunUntil(const std::function<bool()>& Done, int TimeoutMs = 5000);
    size_t PostedCount();

  protected:
    void Poke() override;

  private:
    int RunWatches(int TimeoutMs);
    std::mutex postLock_;
    std::condition_variable postCv_;
    std::deque<TOperation> posts_;
    std::atomic<size_t> postCount_{0}; // posts_.size(), read without the lock
    uint64_t pokes_ = 0;
    std::map<int, std::pair<intptr_t, TOperation>> watches_;
    int nextWatch_ = 1;
};

} // namespace hid
