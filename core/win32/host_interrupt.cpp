#include "port/host_interrupt.hpp"

#include <windows.h>

namespace mexlink {

namespace {

// Octave's flags sit in a library whose name carries Octave's version
// (liboctave-7.dll, ...): it is searched among the modules already loaded.
// K32EnumProcessModules is itself looked up, so XP-era hosts simply go without.
HMODULE octaveLibrary()
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
        if (GetProcAddress(modules[i], "octave_interrupt_state") != nullptr)
            return modules[i];
    return nullptr;
}

void *symbolOf(HMODULE module, const char *name) { return reinterpret_cast<void *>(GetProcAddress(module, name)); }

} // namespace

int hostInterruptPending(HostInterrupt *interrupt)
{
    if (!interrupt->lookedUp) {
        interrupt->lookedUp = true;
        // MATLAB's utility library; never loaded from here, only found.
        if (const HMODULE utilities = GetModuleHandleA("libut.dll"))
            interrupt->matlabPending = reinterpret_cast<bool (*)()>(
                reinterpret_cast<void *>(GetProcAddress(utilities, "utIsInterruptPending")));
        const HMODULE octave = interrupt->matlabPending == nullptr ? octaveLibrary() : nullptr;
        if (octave != nullptr) {
            interrupt->octaveState =
                static_cast<const volatile std::sig_atomic_t *>(symbolOf(octave, "octave_interrupt_state"));
            interrupt->octaveSignalCaught =
                static_cast<volatile std::sig_atomic_t *>(symbolOf(octave, "octave_signal_caught"));
            interrupt->octaveHandleSignal = reinterpret_cast<void (*)()>(symbolOf(octave, "octave_handle_signal"));
        }
    }
    return pendingIn(*interrupt);
}

} // namespace mexlink
