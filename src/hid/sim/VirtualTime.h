#pragma once
// Where simulated time starts, for every front end that runs simulated units on it.
#include <cstdint>

namespace hid::sim {

// The local date and time virtual time starts at, 2026-03-02 09:30:00, counted as if it were
// UTC: a run's log reads the same in every time zone and season.
inline constexpr std::int64_t kVirtualEpochMs = 1772443800000;

} // namespace hid::sim
