// Win32: a serial port is a communications device opened with CreateFileA
// and driven by the port's own DCB and COMMTIMEOUTS; opened and set up here,
// read, written and closed by win32/attached_port.cpp.
//
// - The handle travels as 32 bits (win32/handle.hpp).
// - The port is binary and transparent as the POSIX side's raw mode: whatever
//   an earlier program left on it, no XON/XOFF, no NUL stripping, no error
//   character, no abort after a line error. Stop bits, RTS/CTS and DTR stay.
// - The read time-out T is in the record (port/record.hpp) and, at rest, in
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
#include "port/platform.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include <windows.h>

#include "win32/comm.hpp"
#include "win32/handle.hpp"

namespace mexlink {

static_assert(sizeof(DCB) == 28, "DCB layout differs from the Win32 ABI");

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

int lineErrorCleared(HANDLE port)
{
    if (GetLastError() != ERROR_OPERATION_ABORTED)
        return 0;
    DWORD errors = 0;
    return ClearCommError(port, &errors, nullptr) != 0;
}

namespace {

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

// COM10 and above, written as COM1 to COM9 are: CreateFileA finds those
// only in device-path form.
bool isLongComName(const char *name)
{
    if ((name[0] != 'C' && name[0] != 'c') || (name[1] != 'O' && name[1] != 'o') || (name[2] != 'M' && name[2] != 'm'))
        return false;
    std::size_t digits = 0;
    while (name[3 + digits] >= '0' && name[3 + digits] <= '9')
        ++digits;
    return digits >= 2 && name[3 + digits] == '\0';
}

} // namespace

OpenOutcome serialOpen(const char *name, const PortRecord &record, Port *port, char *cause)
{
    cause[0] = '\0';
    const HANDLE opened = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0 /* exclusive */, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            if (isLongComName(name))
                std::snprintf(cause, causeCapacity, "from COM10 on, Windows names the port '\\\\.\\%s'", name);
            return OpenOutcome::notFound;
        }
        describeError(error, cause, causeCapacity);
        // A communications port held by any handle, of this process or
        // another, answers access denied; so does a folder, which is no port.
        if (error == ERROR_ACCESS_DENIED) {
            const DWORD attributes = GetFileAttributesA(name);
            const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            return folder ? OpenOutcome::refused : OpenOutcome::busy;
        }
        return error == ERROR_SHARING_VIOLATION ? OpenOutcome::busy : OpenOutcome::refused;
    }
    port->handle = valueOf(freshHandle(opened, record));
    port->device = 0;
    port->kind = PortKind::serial;
    return OpenOutcome::opened;
}

SetupOutcome serialSetUp(const Port &attached, std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
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

struct CommSettings {
    DCB state;
    COMMTIMEOUTS timeouts;
};
static_assert(sizeof(CommSettings) <= sizeof(DeviceSettings), "a port's settings fit the room kept for them");

int serialSaveSettings(const Port &port, DeviceSettings *settings)
{
    CommSettings found{};
    found.state.DCBlength = sizeof(DCB);
    const HANDLE handle = handleFrom(port.handle);
    if (!GetCommState(handle, &found.state) || !GetCommTimeouts(handle, &found.timeouts))
        return 0;
    std::memcpy(settings->bytes, &found, sizeof found);
    return 1;
}

void serialRestoreSettings(const Port &port, const DeviceSettings &settings)
{
    CommSettings found{};
    std::memcpy(&found, settings.bytes, sizeof found);
    const HANDLE handle = handleFrom(port.handle);
    SetCommState(handle, &found.state);
    SetCommTimeouts(handle, &found.timeouts);
}

} // namespace mexlink
