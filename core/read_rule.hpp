// The read time-out rule of a port configured with T milliseconds: a read of
// 50 bytes ends when all have arrived, when more than T ms pass after a byte
// without the next one, or when T + 50*T ms have passed since the read began.
// T = 0 means no time-out at all. Times are monotonic nanoseconds.
#pragma once

#include <cstdint>

#include "monotonic_clock.hpp"

namespace mexlink {

constexpr std::int64_t readTotalNanos(std::uint32_t timeoutMs)
{
    return (static_cast<std::int64_t>(timeoutMs) * 51) * nanosPerMilli;
}

// Instant at which the read must end if no further byte arrives.
constexpr std::int64_t earlierOf(std::int64_t a, std::int64_t b) { return a < b ? a : b; }
constexpr std::int64_t readDeadline(std::int64_t startNs, std::int64_t lastByteNs, std::uint32_t received,
                                    std::uint32_t timeoutMs)
{
    return timeoutMs == 0 ? noDeadline
           : received == 0
               ? startNs + readTotalNanos(timeoutMs)
               : earlierOf(lastByteNs + static_cast<std::int64_t>(timeoutMs) * nanosPerMilli,
                           startNs + readTotalNanos(timeoutMs));
}

} // namespace mexlink
