#include "host_interrupt.hpp"

#include <windows.h>

namespace mexlink {

namespace {

// Octave's flag sits in a library whose name carries Octave's version
// (liboctave-7.dll, ...): it is searched among the modules already loaded.
// K32EnumProcessModules is itself looked up, so XP-era hosts simply go without.
const volatile std::sig_atomic_t *octaveState()
{
    using EnumModules = BOOL(WINAPI *)(HANDLE, HMODULE *, DWORD, DWORD *);
    const auto enumModules = reinterpret_cast<EnumModules>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32EnumProcessModules")));
    HMODULE modules[1024];
    DWORD bytes = 0;
    if (enumModules == nullptr || !enumModules(GetCurrentProcess(), modules, sizeof modules, &bytes))
        return nullptr;
    const DWORD count = bytes / sizeof(HMODULE) < 1024 ? bytes / sizeof(HMODULE) : 1024;
    for (DWORD i = 0; i < count; ++i)
        if (const FARPROC state = GetProcAddress(modules[i], "octave_interrupt_state"))
            return reinterpret_cast<const volatile std::sig_atomic_t *>(reinterpret_cast<void *>(state));
    return nullptr;
}

} // namespace

int hostInterruptPending(HostInterrupt *interrupt)
{
    if (!interrupt->lookedUp) {
        interrupt->lookedUp = true;
        // MATLAB's utility library; never loaded from here, only found.
        if (const HMODULE utilities = GetModuleHandleA("libut.dll"))
            interrupt->matlabPending = reinterpret_cast<bool (*)()>(
                reinterpret_cast<void *>(GetProcAddress(utilities, "utIsInterruptPending")));
        if (interrupt->matlabPending == nullptr)
            interrupt->octaveState = octaveState();
    }
    return pendingIn(*interrupt);
}

} // namespace mexlink
