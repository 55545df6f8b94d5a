// Win32: socket://HOST:PORT as a port, a TCP connection through Winsock
// (connected by win32/socket_connect.cpp). The handle is the socket's
// number; each open socket holds its own start-up of Winsock, given back
// when it is closed, so the count never drops to zero under a socket still
// open. Reads and writes are non-blocking, and wait in select() until their
// deadline.
#include "win32/socket.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include "win32/handle.hpp"
#include "win32/socket_wait.hpp"

namespace mexlink {

int waitForSocket(SOCKET socket, Await what, std::int64_t deadline)
{
    const int waitMs = millisUntil(monotonicNanos(), deadline);
    timeval limit{waitMs / 1000, (waitMs % 1000) * 1000};
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    const int n = select(0, what == Await::readable ? &ready : nullptr, what == Await::readable ? nullptr : &ready,
                         what == Await::connected ? &failed : nullptr, waitMs < 0 ? nullptr : &limit);
    if (n == SOCKET_ERROR || (what == Await::connected && FD_ISSET(socket, &failed)))
        return -1;
    return n > 0 ? 1 : 0;
}

int setUpConnectedSocket(SOCKET socket)
{
    const BOOL on = TRUE;
    return setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on) == 0
           && setsockopt(socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char *>(&socketSendBufferBytes),
                         sizeof socketSendBufferBytes)
                  == 0;
}

int socketRead(const Port &port, std::uint8_t *bytes, std::uint32_t room, std::int64_t deadline, std::uint32_t *got)
{
    const SOCKET socket = static_cast<SOCKET>(port.handle);
    *got = 0;
    int n = recv(socket, reinterpret_cast<char *>(bytes), static_cast<int>(room), 0);
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK && deadline != noWait) {
        const int ready = waitForSocket(socket, Await::readable, deadline);
        if (ready <= 0)
            return ready == 0;
        n = recv(socket, reinterpret_cast<char *>(bytes), static_cast<int>(room), 0);
    }
    if (n > 0) {
        *got = static_cast<std::uint32_t>(n);
        return 1;
    }
    // 0: the other end closed the connection.
    return n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK;
}

int socketWrite(const Port &port, const std::uint8_t *bytes, std::uint32_t count, std::int64_t deadline,
                std::uint32_t *written)
{
    const SOCKET socket = static_cast<SOCKET>(port.handle);
    *written = 0;
    int n = send(socket, reinterpret_cast<const char *>(bytes), static_cast<int>(count), 0);
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK && deadline != noWait) {
        const int ready = waitForSocket(socket, Await::writable, deadline);
        if (ready <= 0)
            return ready == 0;
        n = send(socket, reinterpret_cast<const char *>(bytes), static_cast<int>(count), 0);
    }
    if (n >= 0) {
        *written = static_cast<std::uint32_t>(n);
        return 1;
    }
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

int socketClose(const Port &port)
{
    const int closed = closesocket(static_cast<SOCKET>(port.handle)) == 0;
    WSACleanup();
    return closed;
}

} // namespace mexlink
