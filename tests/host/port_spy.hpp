// What the runner shows of a plug-in's dealings with its port beyond what Wine
// can: each plug-in's imports of a few communications calls are redirected
// here when it is loaded, so a test can start the port in the state an
// earlier program may leave a real Windows port in, see the exact settings a
// plug-in asks for, and make the port abort its I/O as a line error does.
#pragma once

#include <string>

#include <windows.h>

// Redirects the module's imports of GetCommState, SetCommState, ReadFile,
// WriteFile and ClearCommError.
void spyOnPort(HMODULE module);

// While `dirty` (until the next SetCommState), GetCommState reports a port as
// an earlier program may leave it: XON/XOFF, NUL stripping, the error
// character and abort-on-error on, binary mode off, and two stop bits,
// RTS/CTS handshake and DTR on.
void spyLeavePortDirty(bool dirty);

// The settings the first SetCommState since the last call (or since the port
// was left dirty or clean) asked for (an
// attach's configuration, not the state writes that follow it), as
// "NAME=VALUE ..." ("none" if there was none).
std::string spyFirstSettings();

// The next ReadFile or WriteFile fails with ERROR_OPERATION_ABORTED, and so
// does every later one until ClearCommError is called, as on a port with
// abort-on-error after a line error.
void spyAbortNextIo();
