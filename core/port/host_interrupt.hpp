// Whether the user pressed Ctrl-C in the host (MATLAB or Octave) while a
// command waits, and, in Octave, the other signals Octave acts on during its
// own waits. Neither host offers this through the MEX API, and a plug-in
// must still load in a host that lacks it, so the host's own flags are
// looked up at run time, once per call and only when a wait begins. Each
// platform looks them up its own way (posix/, win32/host_interrupt.cpp).
#pragma once

#include <csignal>

namespace mexlink {

struct HostInterrupt {
    bool lookedUp = false;
    // Octave counts pending interrupts in a variable of its own library, and
    // flags every other signal it caught for its own handler, which its
    // waits call (a request to end the session, a child's exit).
    const volatile std::sig_atomic_t *octaveState = nullptr;
    volatile std::sig_atomic_t *octaveSignalCaught = nullptr;
    void (*octaveHandleSignal)() = nullptr;
    // MATLAB answers through a function of its utility library.
    bool (*matlabPending)() = nullptr;
};

// 1 when an interrupt is pending; 0 otherwise or when the host offers no way
// to tell. The host keeps its flag: it ends the user's script in its own way.
// In Octave, a signal other than Ctrl-C is first handed to Octave, as its
// own waits do: SIGTERM or SIGHUP then ends the session from here, leaving
// the command as an error would (so a caller holds nothing that needs
// undoing when it asks); a child's exit is dealt with and the wait goes on.
int hostInterruptPending(HostInterrupt *interrupt);

// Once found, the host's flags are read the same way on every platform.
inline int pendingIn(const HostInterrupt &interrupt)
{
    if (interrupt.octaveState == nullptr)
        return interrupt.matlabPending != nullptr && interrupt.matlabPending();
    if (*interrupt.octaveState > 0)
        return 1;
    if (interrupt.octaveSignalCaught != nullptr && interrupt.octaveHandleSignal != nullptr
        && *interrupt.octaveSignalCaught) {
        // What Octave's own OCTAVE_QUIT does.
        *interrupt.octaveSignalCaught = 0;
        interrupt.octaveHandleSignal();
    }
    return *interrupt.octaveState > 0;
}

} // namespace mexlink
