#include "port/host_interrupt.hpp"

#include <dlfcn.h>

namespace mexlink {

int hostInterruptPending(HostInterrupt *interrupt)
{
    if (!interrupt->lookedUp) {
        interrupt->lookedUp = true;
        // Both hosts load these libraries with global symbols.
        interrupt->octaveState =
            static_cast<const volatile std::sig_atomic_t *>(dlsym(RTLD_DEFAULT, "octave_interrupt_state"));
        if (interrupt->octaveState != nullptr) {
            interrupt->octaveSignalCaught =
                static_cast<volatile std::sig_atomic_t *>(dlsym(RTLD_DEFAULT, "octave_signal_caught"));
            interrupt->octaveHandleSignal = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "octave_handle_signal"));
        } else {
            interrupt->matlabPending = reinterpret_cast<bool (*)()>(dlsym(RTLD_DEFAULT, "utIsInterruptPending"));
        }
    }
    return pendingIn(*interrupt);
}

} // namespace mexlink
