// Win32 backend of the port routines: a communications device opened with
// CreateFileA and driven by the port's own DCB and COMMTIMEOUTS.
//
// - The handle travels as 32 bits (win32_handle.hpp).
// - The port is binary and transparent as the POSIX side's raw mode: whatever
//   an earlier program left on it, no XON/XOFF, no NUL stripping, no error
//   character, no abort after a line error. Stop bits, RTS/CTS and DTR stay.
// - The read time-out T lives in the port's COMMTIMEOUTS (interval, per-byte
//   and constant all T), so every later command gets it from the handle alone.
//   While a read waits, the port is set to hand over bytes as they arrive and
//   to wait no longer than the shared routines ask, so they can apply the read
//   rule and see Ctrl-C; T is put back as each read returns.
// - Only a port proven ours (win32_port_proof.cpp) is ever written, read or
//   closed. A refused set-up puts back the state and time-outs it found.
#include "serial_port.hpp"

#include <cstdint>

#include <windows.h>

#include "monotonic_clock.hpp"
#include "serial.hpp"
#include "win32_handle.hpp"

namespace mexlink {

static_assert(sizeof(DCB) == 28, "DCB layout differs from the Win32 ABI");

namespace {

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

// Applies the settings; the caller puts back what it found when refused.
SetupOutcome configure(HANDLE port, std::uint32_t handle, std::int32_t baudRate, std::int32_t byteSize,
                       std::int32_t parity, std::int32_t timeoutMs)
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
    if (!SetCommTimeouts(port, &timeouts) || !markAttached(handle, static_cast<std::uint32_t>(timeoutMs)))
        return SetupOutcome::timeoutRefused;
    return SetupOutcome::done;
}

} // namespace

OpenOutcome portOpen(const char *name, std::uint32_t *handle)
{
    const HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0 /* exclusive */, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
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
    *handle = valueOf(port);
    return OpenOutcome::opened;
}

SetupOutcome portSetUp(std::uint32_t handle, std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
                       std::int32_t timeoutMs)
{
    const HANDLE port = handleFrom(handle);
    DCB found{};
    found.DCBlength = sizeof(DCB);
    COMMTIMEOUTS foundTimeouts{};
    if (!GetCommState(port, &found) || !GetCommTimeouts(port, &foundTimeouts))
        return SetupOutcome::stateRefused;
    const SetupOutcome outcome = configure(port, handle, baudRate, byteSize, parity, timeoutMs);
    if (outcome != SetupOutcome::done) {
        SetCommState(port, &found);
        SetCommTimeouts(port, &foundTimeouts);
    }
    return outcome;
}

void portAbandon(std::uint32_t handle) { CloseHandle(handleFrom(handle)); }

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
    // WriteFile waits by the port's own write time-outs; a call that writes
    // nothing ran into them.
    const HANDLE handle = handleFrom(port.handle);
    DWORD n = 0;
    if (!WriteFile(handle, bytes, count, &n, nullptr)
        && !(lineErrorCleared(handle) && WriteFile(handle, bytes, count, &n, nullptr)))
        return 0;
    *written = n;
    return n > 0;
}

// Unbounded on a port that flow control holds up: Win32 offers no limit here.
void portDrainOutput(const Port &port) { FlushFileBuffers(handleFrom(port.handle)); }

CloseOutcome portClose(std::uint32_t handle)
{
    std::uint32_t timeoutMs = 0;
    if (proveAttached(handle, &timeoutMs) != Proof::ours)
        return CloseOutcome::notOurs;
    unmarkAttached(handle);
    return CloseHandle(handleFrom(handle)) ? CloseOutcome::closed : CloseOutcome::failed;
}

void portReleaseAll()
{
    // Handle values are multiples of four, handed out from the bottom up:
    // the walk ends once it has met as many handles as the process holds
    // (or, where the system cannot count them, at a bound far above what a
    // host holds).
    DWORD held = 0;
    const bool counted = GetProcessHandleCount(GetCurrentProcess(), &held) != 0 && held > 0;
    const std::uint32_t end = counted ? (1u << 26) : (1u << 18);
    DWORD met = 0;
    for (std::uint32_t value = 4; value < end && (!counted || met < held); value += 4) {
        DWORD flags = 0;
        if (!GetHandleInformation(handleFrom(value), &flags))
            continue;
        ++met;
        portClose(value);
    }
}

} // namespace mexlink
