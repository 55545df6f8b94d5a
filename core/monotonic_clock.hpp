// A clock that only moves forward, for deadlines; one implementation per
// platform (monotonic_clock_posix.cpp, monotonic_clock_win32.cpp).
#pragma once

#include <cstdint>

constexpr std::int64_t nanosPerMilli = 1000000;
constexpr std::int64_t nanosPerSecond = 1000000000;

std::int64_t monotonicNanos();

constexpr std::int64_t millisToNanos(std::int64_t ms) { return ms * nanosPerMilli; }
