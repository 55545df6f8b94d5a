// Win32: what the opening of a COM port (win32/comm_port.cpp) and the calls
// on an attached one (win32/attached_port.cpp) share.
#pragma once

#include <windows.h>

namespace mexlink {

// The port's time-outs at rest: every read time-out T, and a write that
// returns after one slice with what went out.
COMMTIMEOUTS portTimeouts(DWORD readTimeoutMs);

// With fAbortOnError left on by an earlier program (or by a driver that
// ignores clearing it), one line error aborts every read and write until
// ClearCommError is called. Returns 1 when that was the failure and it is
// cleared, so the call may be tried once more.
int lineErrorCleared(HANDLE port);

} // namespace mexlink
