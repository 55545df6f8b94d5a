// The performance counter runs from boot and never wraps in practice, and
// exists on every Windows (GetTickCount64 needs Vista and its headers).
#include "port/platform.hpp"

#include <windows.h>

namespace mexlink {

std::int64_t monotonicNanos()
{
    LARGE_INTEGER frequency{};
    LARGE_INTEGER count{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    // Split so that count * 10^9 cannot overflow.
    const std::int64_t perSecond = frequency.QuadPart;
    const std::int64_t seconds = count.QuadPart / perSecond;
    const std::int64_t rest = count.QuadPart % perSecond;
    return seconds * nanosPerSecond + rest * nanosPerSecond / perSecond;
}

void sleepMillis(std::uint32_t ms) { Sleep(ms); }

} // namespace mexlink
