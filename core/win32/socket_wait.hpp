// Win32: the one wait on a socket, and the set-up of one just connected,
// which connecting (win32/socket_connect.cpp) and the calls on a connected
// socket (win32/socket_port.cpp) share. Needs <winsock2.h>, included before
// <windows.h>.
#pragma once

#include <cstdint>

namespace mexlink {

enum class Await { readable, writable, connected };

// Waits until `deadline` (a monotonic instant) at most for `socket`; 1 ready,
// 0 the time ran out, -1 failed (a connect that failed shows in the
// exception set).
int waitForSocket(SOCKET socket, Await what, std::int64_t deadline);

// No Nagle delay, and the small send buffer of port/platform.hpp; 0 when
// the socket refuses either.
int setUpConnectedSocket(SOCKET socket);

} // namespace mexlink
