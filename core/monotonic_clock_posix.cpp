#include "monotonic_clock.hpp"

#include <ctime>

namespace mexlink {

std::int64_t monotonicNanos()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * nanosPerSecond + now.tv_nsec;
}

} // namespace mexlink
