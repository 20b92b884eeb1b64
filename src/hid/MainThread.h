#pragma once
// How the HID layer reaches the main thread: the application provides one TMainThread
// (src/hid/qt has the Qt one); tests use TManualMainThread (src/hid/sim) and pump it
// themselves.
//
// On Windows the platform's notice window belongs to the main thread, and whatever runs
// the main thread also dispatches that thread's window messages: Qt's event loop does,
// and so does TManualMainThread.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace hid {

class TMainThread {
  public:
    using TOperation = std::function<void()>;
    virtual ~TMainThread() = default;

    // Any thread: runs Op later in the main thread, in the order posted.
    virtual void Post(TOperation Op) = 0;
    // Worker thread: runs Op in the main thread and returns once it has run. Called in
    // the main thread it runs Op at once.
    virtual void Send(TOperation Op) = 0;
    // Main thread: blocks until Done() is true, running every hand-over (Send) that
    // arrives meanwhile. Done is tested again after each hand-over and after each Wake().
    virtual void ServeUntil(const std::function<bool()>& Done) = 0;
    // Any thread: makes a blocked ServeUntil test its condition again.
    virtual void Wake() = 0;

    // Main thread: calls OnReady in the main thread whenever Source is ready (a readable
    // file descriptor on POSIX, a signalled waitable handle on Windows).
    virtual int Watch(intptr_t Source, TOperation OnReady) = 0;
    virtual void Unwatch(int Id) = 0;

    bool InMainThread() const { return std::this_thread::get_id() == mainId_; }

  protected:
    std::thread::id mainId_ = std::this_thread::get_id();
};

// The hand-over queue shared by the implementations. Send queues the operation, asks the
// main loop to drain (Poke) and waits; the main thread drains in Drain() or ServeUntil().
class TQueuedMainThread : public TMainThread {
  public:
    void Send(TOperation Op) override;
    void ServeUntil(const std::function<bool()>& Done) override;
    // The same, but gives up after TimeoutMs: false when Done() was still false then.
    bool ServeFor(const std::function<bool()>& Done, int TimeoutMs);
    void Wake() override;

    // Where an exception escaping a posted or handed-over operation goes; by default it
    // is rethrown to whoever runs the queue.
    void SetErrorHandler(std::function<void(std::exception_ptr)> Handler);
    // Hand-overs queued and not yet run.
    size_t PendingSends();

  protected:
    // Runs every queued hand-over; main thread. Returns how many ran.
    int Drain();
    // Asks the main loop to call Drain() soon; any thread.
    virtual void Poke() = 0;
    void RunGuarded(const TOperation& Op);

  private:
    bool Serve(const std::function<bool()>& Done,
               const std::chrono::steady_clock::time_point* Deadline);

    struct TSend {
        TOperation Op;
        bool Done = false;
        std::exception_ptr Error;
    };
    std::mutex lock_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<TSend>> sends_;
    uint64_t wakes_ = 0;
    std::function<void(std::exception_ptr)> errorHandler_;
};

} // namespace hid
