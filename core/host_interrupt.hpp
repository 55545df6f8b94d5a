// Whether the user pressed Ctrl-C in the host (MATLAB or Octave) while a
// command waits. Neither host offers this through the MEX API, and a plug-in
// must still load in a host that lacks it, so the host's own flag is looked up
// at run time, once per call and only when a wait begins. One implementation
// per platform (host_interrupt_posix.cpp, host_interrupt_win32.cpp).
#pragma once

#include <csignal>

namespace mexlink {

struct HostInterrupt {
    bool lookedUp = false;
    // Octave counts pending interrupts in a variable of its own library.
    const volatile std::sig_atomic_t *octaveState = nullptr;
    // MATLAB answers through a function of its utility library.
    bool (*matlabPending)() = nullptr;
};

// 1 when an interrupt is pending; 0 otherwise or when the host offers no way
// to tell. The host keeps its flag: it ends the user's script in its own way.
int hostInterruptPending(HostInterrupt *interrupt);

// Once found, the host's flag is read the same way on every platform.
inline int pendingIn(const HostInterrupt &interrupt)
{
    if (interrupt.octaveState != nullptr)
        return *interrupt.octaveState > 0;
    return interrupt.matlabPending != nullptr && interrupt.matlabPending();
}

} // namespace mexlink
