// Instants and durations in monotonic nanoseconds, as every deadline of the
// port routines and the read rule counts them. Pure arithmetic: the clock
// that gives the instants is the platform's (port/platform.hpp).
#pragma once

#include <cstdint>

namespace mexlink {

constexpr std::int64_t nanosPerMilli = 1000000;
constexpr std::int64_t nanosPerSecond = 1000000000;

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
