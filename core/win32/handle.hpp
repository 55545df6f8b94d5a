// How a Win32 handle travels as the 32-bit number in the user's array.
#pragma once

#include <cstdint>

#include <windows.h>

namespace mexlink {

// Kernel handles always fit in 32 bits; the value is sign-extended on the way
// back so 0xFFFFFFFF stays INVALID_HANDLE_VALUE on 64-bit builds too.
inline HANDLE handleFrom(std::uint32_t value)
{
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}

// The system's words for `error` (FormatMessage, in the system's language),
// without the line end, into `cause` (`capacity` bytes).
inline void describeError(DWORD error, char *cause, DWORD capacity)
{
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, cause,
                             capacity, nullptr);
    while (n > 0 && (cause[n - 1] == '\r' || cause[n - 1] == '\n' || cause[n - 1] == ' ' || cause[n - 1] == '.'))
        --n;
    cause[n] = '\0';
}

inline std::uint32_t valueOf(HANDLE handle)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
}

} // namespace mexlink
