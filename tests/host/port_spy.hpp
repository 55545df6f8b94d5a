// What the runner shows of a plug-in's dealings with its port beyond what Wine
// can: each plug-in's imports of the calls it may make on a handle are
// redirected here when it is loaded, so a test can start the port in the
// state an earlier program may leave a real Windows port in, see the exact
// settings a plug-in asks for, make the port abort its I/O as a line error
// does or fail as a device that went away does, and count the calls a
// plug-in makes on a handle that is not its own.
#pragma once

#include <string>

#include <windows.h>

// Redirects the module's kernel32 imports of every call that takes a handle
// (the communications calls, ReadFile, WriteFile, FlushFileBuffers,
// GetFileType, GetHandleInformation, DuplicateHandle, CloseHandle).
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

// From now on the plug-ins' calls on `handle` are counted.
void spyWatch(HANDLE handle);
// How many calls the plug-ins made on the watched handle.
unsigned long spyTouched();

// The device behind `handle` went away, as an unplugged USB adapter or a
// dropped Bluetooth link: every call on it fails but CloseHandle, which
// closes it.
void spyUnplug(HANDLE handle);

// While `held`, ClearCommError reports output that never leaves the queue,
// as on a port whose flow control holds it up.
void spyHoldOutput(bool held);
