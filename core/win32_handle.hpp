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

inline std::uint32_t valueOf(HANDLE handle)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
}

} // namespace mexlink
