#pragma once
// Waiting on real threads (readers, the hand-over, umockdev's, wine's). A test waits for
// an outcome and asserts it, never how long it took. The limit only turns a hang into a
// failure: a loaded two-core machine under a sanitizer must never come near it.
#include <chrono>
#include <functional>
#include <thread>

namespace testing_support {

inline constexpr int kThreadWaitMs = 30000;

// Polls Done from the calling thread, pumping nothing, until it holds or TimeoutMs passed.
inline bool PollUntil(const std::function<bool()>& Done, int TimeoutMs = kThreadWaitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (!Done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

} // namespace testing_support
