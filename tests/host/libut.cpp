// Stand-in utility library: the pending Ctrl-C of MATLAB's libut.dll.
#define MEXLINK_HOST_BUILD
#include <windows.h>

#include "mexhost.h"

namespace {

struct PendingInterrupt {
    bool armed = false;
    ULONGLONG from = 0;
};

// The host is a single-threaded test stand-in; one flag serves the process.
PendingInterrupt &pending()
{
    static PendingInterrupt interrupt;
    return interrupt;
}

} // namespace

extern "C" {

bool utIsInterruptPending(void) { return pending().armed && GetTickCount64() >= pending().from; }

void mexhostInterruptAfter(unsigned ms)
{
    pending().armed = true;
    pending().from = GetTickCount64() + ms;
}

void mexhostClearInterrupt(void) { pending().armed = false; }

} // extern "C"
