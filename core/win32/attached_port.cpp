// Win32: the calls on an attached port (port/platform.hpp): a COM port's
// through its handle, a socket's handed to win32/socket_port.cpp.
#include "port/platform.hpp"

#include <cstdint>

#include <windows.h>

#include "win32/comm.hpp"
#include "win32/handle.hpp"
#include "win32/socket.hpp"

namespace mexlink {

namespace {

// A read that returns at once with whatever has arrived, or waits up to
// waitMs for the first byte.
COMMTIMEOUTS waitTimeouts(DWORD waitMs)
{
    COMMTIMEOUTS timeouts = portTimeouts(0);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = waitMs > 0 ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutConstant = waitMs;
    return timeouts;
}

} // namespace

void portAbandon(const Port &port)
{
    if (port.kind == PortKind::socket)
        socketClose(port);
    else
        CloseHandle(handleFrom(port.handle));
}

int portNamesItsDevice(const Port &) { return 1; }

int portRead(const Port &port, std::uint8_t *bytes, std::uint32_t room, std::int64_t deadline, std::uint32_t *got)
{
    if (port.kind == PortKind::socket)
        return socketRead(port, bytes, room, deadline, got);
    // The port's time-outs say how long ReadFile waits: set to this wait for
    // the one call, and back to T at once, so the port is always as attached.
    const HANDLE handle = handleFrom(port.handle);
    const int waitMs = millisUntil(monotonicNanos(), deadline);
    COMMTIMEOUTS timeouts = waitTimeouts(waitMs < 0 ? MAXDWORD - 1 : static_cast<DWORD>(waitMs));
    if (!SetCommTimeouts(handle, &timeouts))
        return 0;
    DWORD n = 0;
    const bool read = ReadFile(handle, bytes, room, &n, nullptr)
                      || (lineErrorCleared(handle) && ReadFile(handle, bytes, room, &n, nullptr));
    COMMTIMEOUTS resting = portTimeouts(port.timeoutMs);
    if (!SetCommTimeouts(handle, &resting) || !read)
        return 0;
    *got = n;
    return 1;
}

int portWrite(const Port &port, const std::uint8_t *bytes, std::uint32_t count, std::int64_t deadline,
              std::uint32_t *written)
{
    if (port.kind == PortKind::socket)
        return socketWrite(port, bytes, count, deadline, written);
    // WriteFile waits by the port's own write time-out, one slice.
    const HANDLE handle = handleFrom(port.handle);
    DWORD n = 0;
    if (!WriteFile(handle, bytes, count, &n, nullptr)
        && !(lineErrorCleared(handle) && WriteFile(handle, bytes, count, &n, nullptr)))
        return 0;
    *written = n;
    return 1;
}

std::uint32_t portOutputQueued(const Port &port)
{
    if (port.kind == PortKind::socket)
        return 0;
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(handleFrom(port.handle), &errors, &status) ? status.cbOutQue : 0;
}

int portClose(const Port &port, bool drained)
{
    if (port.kind == PortKind::socket)
        return socketClose(port);
    const HANDLE handle = handleFrom(port.handle);
    if (!drained)
        PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR);
    return CloseHandle(handle) != 0;
}

} // namespace mexlink
