#include "port/platform.hpp"

#include <ctime>

namespace mexlink {

std::int64_t monotonicNanos()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * nanosPerSecond + now.tv_nsec;
}

void sleepMillis(std::uint32_t ms)
{
    const timespec pause{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}

} // namespace mexlink
