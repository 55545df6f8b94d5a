// Win32 backend of the port routines: a communications device opened with
// CreateFileA and driven by the port's own DCB and COMMTIMEOUTS.
//
// - The handle travels as 32 bits: kernel handles always fit, and the value is
//   sign-extended on the way back so 0xFFFFFFFF stays INVALID_HANDLE_VALUE on
//   64-bit builds too.
// - The port is binary and transparent as the POSIX side's raw mode: whatever
//   an earlier program left on it, no XON/XOFF, no NUL stripping, no error
//   character, no abort after a line error. Stop bits, RTS/CTS and DTR stay.
// - The read time-out T lives in the port's COMMTIMEOUTS (interval, per-byte
//   and constant all T), so every later command gets it from the handle alone.
//   While a read waits, the port is set to hand over bytes as they arrive and
//   to wait no longer than the shared routines ask, so they can apply the read
//   rule and see Ctrl-C; T is put back when the reads end.
// - Only an open communications device is ever written, read or closed.
#include "serial_port.hpp"

#include <cstdint>

#include <windows.h>

#include "read_rule.hpp"
#include "serial.hpp"

static_assert(sizeof(DCB) == 28, "DCB layout differs from the Win32 ABI");

namespace {

HANDLE handleFrom(std::uint32_t value)
{
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}

// CreateFile hands out multiples of four above zero. Anything else (zero,
// pseudo-handles such as the current process, tagged values the kernel would
// quietly round down to another object) is refused before any call sees it.
int plausibleHandle(std::uint32_t value)
{
    return value != 0 && (value & 3u) == 0 && static_cast<std::int32_t>(value) > 0;
}

COMMTIMEOUTS portTimeouts(DWORD readTimeoutMs)
{
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = readTimeoutMs;
    timeouts.ReadTotalTimeoutMultiplier = readTimeoutMs;
    timeouts.ReadTotalTimeoutConstant = readTimeoutMs;
    timeouts.WriteTotalTimeoutMultiplier = writeTimeoutPerByteMs;
    timeouts.WriteTotalTimeoutConstant = writeTimeoutConstantMs;
    return timeouts;
}

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

// With fAbortOnError left on by an earlier program (or by a driver that
// ignores clearing it), one line error aborts every read and write until
// ClearCommError is called. Returns 1 when that was the failure and it is
// cleared, so the call may be tried once more.
int lineErrorCleared(HANDLE port)
{
    if (GetLastError() != ERROR_OPERATION_ABORTED)
        return 0;
    DWORD errors = 0;
    return ClearCommError(port, &errors, nullptr) != 0;
}

} // namespace

OpenOutcome portOpen(const char *name, std::uint32_t *handle)
{
    const HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0 /* exclusive */, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? OpenOutcome::notFound : OpenOutcome::refused;
    *handle = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(port));
    return OpenOutcome::opened;
}

SetupOutcome portSetUp(std::uint32_t handle, std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
                       std::int32_t timeoutMs)
{
    const HANDLE port = handleFrom(handle);
    DCB state{};
    state.DCBlength = sizeof(DCB);
    if (!GetCommState(port, &state))
        return SetupOutcome::stateRefused;
    state.BaudRate = static_cast<DWORD>(baudRate);
    state.ByteSize = static_cast<BYTE>(byteSize);
    state.Parity = static_cast<BYTE>(parity);
    state.fBinary = TRUE;
    state.fOutX = FALSE;
    state.fInX = FALSE;
    state.fNull = FALSE;
    state.fErrorChar = FALSE;
    state.fAbortOnError = FALSE;
    if (!SetCommState(port, &state))
        return SetupOutcome::stateRefused;
    if (timeoutMs < 0)
        return SetupOutcome::timeoutRefused;
    COMMTIMEOUTS timeouts = portTimeouts(static_cast<DWORD>(timeoutMs));
    if (!SetCommTimeouts(port, &timeouts))
        return SetupOutcome::timeoutRefused;
    return SetupOutcome::done;
}

void portAbandon(std::uint32_t handle) { CloseHandle(handleFrom(handle)); }

int portFind(const std::uint32_t *handle, Port *port)
{
    if (!plausibleHandle(*handle))
        return 0;
    const HANDLE candidate = handleFrom(*handle);
    if (GetFileType(candidate) != FILE_TYPE_CHAR)
        return 0;
    DCB state{};
    state.DCBlength = sizeof(DCB);
    COMMTIMEOUTS timeouts{};
    if (!GetCommState(candidate, &state) || !GetCommTimeouts(candidate, &timeouts))
        return 0;
    port->handle = *handle;
    port->timeoutMs = timeouts.ReadIntervalTimeout;
    return 1;
}

int portRead(Port *port, std::uint8_t *bytes, std::uint32_t room, std::int64_t waitNs, std::uint32_t *got)
{
    const HANDLE handle = handleFrom(port->handle);
    const auto waitMs = static_cast<DWORD>(pollMillis(0, waitNs));
    if (port->readWaitMs != waitMs) {
        COMMTIMEOUTS timeouts = waitTimeouts(waitMs);
        if (!SetCommTimeouts(handle, &timeouts))
            return 0;
        port->readWaitMs = waitMs;
    }
    DWORD n = 0;
    if (!ReadFile(handle, bytes, room, &n, nullptr)
        && !(lineErrorCleared(handle) && ReadFile(handle, bytes, room, &n, nullptr)))
        return 0;
    *got = n;
    return 1;
}

int portEndReads(Port *port)
{
    if (port->readWaitMs == noReadWait)
        return 1;
    COMMTIMEOUTS timeouts = portTimeouts(port->timeoutMs);
    port->readWaitMs = noReadWait;
    return SetCommTimeouts(handleFrom(port->handle), &timeouts) != 0;
}

int portWrite(Port *port, const std::uint8_t *bytes, std::uint32_t count, std::int64_t, std::uint32_t *written)
{
    // WriteFile waits by the port's own write time-outs; a call that writes
    // nothing ran into them.
    const HANDLE handle = handleFrom(port->handle);
    DWORD n = 0;
    if (!WriteFile(handle, bytes, count, &n, nullptr)
        && !(lineErrorCleared(handle) && WriteFile(handle, bytes, count, &n, nullptr)))
        return 0;
    *written = n;
    return n > 0;
}

// Unbounded on a port that flow control holds up: Win32 offers no limit here.
void portDrainOutput(Port *port) { FlushFileBuffers(handleFrom(port->handle)); }

CloseOutcome portClose(std::uint32_t handle)
{
    Port port;
    if (!portFind(&handle, &port))
        return CloseOutcome::notOurs;
    return CloseHandle(handleFrom(handle)) ? CloseOutcome::closed : CloseOutcome::failed;
}
