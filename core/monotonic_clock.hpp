// A clock that only moves forward, for deadlines; one implementation per
// platform (monotonic_clock_posix.cpp, monotonic_clock_win32.cpp).
#pragma once

#include <cstdint>

namespace mexlink {

constexpr std::int64_t nanosPerMilli = 1000000;
constexpr std::int64_t nanosPerSecond = 1000000000;

std::int64_t monotonicNanos();

// Gives up the processor for about `ms` milliseconds (at least one tick).
void sleepMillis(std::uint32_t ms);

constexpr std::int64_t millisToNanos(std::int64_t ms) { return ms * nanosPerMilli; }

// An instant that never comes: a wait with no deadline.
constexpr std::int64_t noDeadline = INT64_MAX;

// Milliseconds from `now` until `deadline`, for the system calls that wait in
// milliseconds: rounded up so a wait never ends early, -1 for no deadline,
// capped to fit an int.
constexpr int cappedMillis(std::int64_t ms) { return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms); }
constexpr int millisUntil(std::int64_t now, std::int64_t deadline)
{
    return deadline == noDeadline ? -1
           : deadline <= now      ? 0
                                  : cappedMillis((deadline - now + nanosPerMilli - 1) / nanosPerMilli);
}

} // namespace mexlink
