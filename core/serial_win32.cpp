// Win32 backend of the port routines: a communications device opened with
// CreateFileA and driven by the port's own DCB and COMMTIMEOUTS.
//
// - The handle travels as 32 bits (win32_handle.hpp).
// - The port is binary and transparent as the POSIX side's raw mode: whatever
//   an earlier program left on it, no XON/XOFF, no NUL stripping, no error
//   character, no abort after a line error. Stop bits, RTS/CTS and DTR stay.
// - The read time-out T is in the record (port_record.hpp) and, at rest, in
//   the port's COMMTIMEOUTS (interval, per-byte and constant all T). While a
//   read waits, the port is set to hand over bytes as they arrive and to wait
//   no longer than the shared routines ask, so they can apply the read rule
//   and see Ctrl-C; T is put back as each read returns. A write waits at
//   most one slice of the shared routines' wait at a time, for the same
//   reason; they keep the write's deadline.
// - Only a port the record lists is ever written, read, drained or closed:
//   no call is made on any other handle, since on a pipe or file whose
//   synchronous read is pending in another thread of the host even a query
//   waits for that read. A refused set-up puts back the state and time-outs
//   it found.
#include "serial_port.hpp"

#include <cstdint>

#include <windows.h>

#include "monotonic_clock.hpp"
#include "serial.hpp"
#include "win32_handle.hpp"

namespace mexlink {

static_assert(sizeof(DCB) == 28, "DCB layout differs from the Win32 ABI");

namespace {

// A WriteFile that the line cannot take whole returns after this long with
// what went out.
constexpr DWORD writeSliceMs = 50;

COMMTIMEOUTS portTimeouts(DWORD readTimeoutMs)
{
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = readTimeoutMs;
    timeouts.ReadTotalTimeoutMultiplier = readTimeoutMs;
    timeouts.ReadTotalTimeoutConstant = readTimeoutMs;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = writeSliceMs;
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

// Applies the settings; the caller puts back what it found when refused.
SetupOutcome configure(HANDLE port, std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
                       std::int32_t timeoutMs)
{
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

// A handle of the same port whose value the record does not name as
// recently freed, where the process has one; the other values tried are
// closed again.
HANDLE freshHandle(HANDLE port, const PortRecord &record)
{
    const HANDLE self = GetCurrentProcess();
    HANDLE chosen = port;
    HANDLE tried[freedNumbersKept + 1];
    std::uint32_t triedCount = 0;
    while (triedCount <= freedNumbersKept && recentlyFreed(record, valueOf(chosen))) {
        HANDLE copy = nullptr;
        if (!DuplicateHandle(self, port, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
            break;
        tried[triedCount++] = chosen;
        chosen = copy;
    }
    for (std::uint32_t i = 0; i < triedCount; ++i)
        CloseHandle(tried[i]);
    return chosen;
}

} // namespace

OpenOutcome portOpen(const char *name, const PortRecord &record, Port *port)
{
    const HANDLE opened = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0 /* exclusive */, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND: return OpenOutcome::notFound;
        // A communications port held by any handle, of this process or
        // another, answers access denied; so does a folder, which is no port.
        case ERROR_ACCESS_DENIED: {
            const DWORD attributes = GetFileAttributesA(name);
            const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            return folder ? OpenOutcome::refused : OpenOutcome::busy;
        }
        case ERROR_SHARING_VIOLATION: return OpenOutcome::busy;
        default: return OpenOutcome::refused;
        }
    }
    port->handle = valueOf(freshHandle(opened, record));
    port->device = 0;
    return OpenOutcome::opened;
}

SetupOutcome portSetUp(const Port &attached, std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
                       std::int32_t timeoutMs)
{
    const HANDLE port = handleFrom(attached.handle);
    DCB found{};
    found.DCBlength = sizeof(DCB);
    COMMTIMEOUTS foundTimeouts{};
    if (!GetCommState(port, &found) || !GetCommTimeouts(port, &foundTimeouts))
        return SetupOutcome::stateRefused;
    const SetupOutcome outcome = configure(port, baudRate, byteSize, parity, timeoutMs);
    if (outcome != SetupOutcome::done) {
        SetCommState(port, &found);
        SetCommTimeouts(port, &foundTimeouts);
    }
    return outcome;
}

void portAbandon(const Port &port) { CloseHandle(handleFrom(port.handle)); }

int portNamesItsDevice(const Port &) { return 1; }

int portRead(const Port &port, std::uint8_t *bytes, std::uint32_t room, std::int64_t deadline, std::uint32_t *got)
{
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

int portWrite(const Port &port, const std::uint8_t *bytes, std::uint32_t count, std::int64_t, std::uint32_t *written)
{
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
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(handleFrom(port.handle), &errors, &status) ? status.cbOutQue : 0;
}

int portClose(const Port &port, bool drained)
{
    const HANDLE handle = handleFrom(port.handle);
    if (!drained)
        PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR);
    return CloseHandle(handle) != 0;
}

} // namespace mexlink
