// Win32 backend of the port routines: a communications device opened with
// CreateFileA and driven by the port's own DCB and COMMTIMEOUTS.
//
// - The handle travels as 32 bits: kernel handles always fit, and the value is
//   sign-extended on the way back so 0xFFFFFFFF stays INVALID_HANDLE_VALUE on
//   64-bit builds too.
// - The read time-out T lives in the port's COMMTIMEOUTS (interval, per-byte
//   and constant all T), so every later command gets it from the handle alone.
// - Only an open communications device is ever written, read or closed.
#include "serial.hpp"

#include <cstdint>

#include <windows.h>

#include "mex.h"

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

// The handle names an open communications device; yields its time-outs.
int portOf(const std::uint32_t *handle, HANDLE *port, COMMTIMEOUTS *timeouts)
{
    if (!plausibleHandle(*handle))
        return 0;
    const HANDLE candidate = handleFrom(*handle);
    if (GetFileType(candidate) != FILE_TYPE_CHAR)
        return 0;
    DCB state{};
    state.DCBlength = sizeof(DCB);
    COMMTIMEOUTS current{};
    if (!GetCommState(candidate, &state) || !GetCommTimeouts(candidate, &current))
        return 0;
    *port = candidate;
    *timeouts = current;
    return 1;
}

void closeAndRaise(HANDLE port, const char *message)
{
    CloseHandle(port);
    mexErrMsgTxt(message);
}

int writeAll(HANDLE port, const std::uint8_t *bytes, std::uint32_t count)
{
    std::uint32_t written = 0;
    while (written < count) {
        DWORD n = 0;
        // A call that writes nothing ran into the port's write time-out.
        if (!WriteFile(port, bytes + written, count - written, &n, nullptr) || n == 0)
            return 0;
        written += n;
    }
    return 1;
}

enum class ReadEnd { done, failed, overLimit };

// The drain of readSerialLatest. With T = 0 a read would wait for 50 bytes
// for ever, so its reads get a total time-out of what is left of the drain
// limit; a chunk cut short by that is a line that never paused.
ReadEnd drainChunks(HANDLE port, const COMMTIMEOUTS &portTimeouts, bool unbounded, std::uint8_t *chunk,
                    std::uint32_t *count)
{
    const ULONGLONG lastStart = GetTickCount64() + latestDrainLimitMs;
    *count = chunkSize;
    while (*count == chunkSize) {
        const ULONGLONG now = GetTickCount64();
        if (now > lastStart)
            return ReadEnd::overLimit;
        if (unbounded) {
            COMMTIMEOUTS bounded = portTimeouts;
            const ULONGLONG left = lastStart - now;
            bounded.ReadTotalTimeoutConstant = left > 0 ? static_cast<DWORD>(left) : 1;
            if (!SetCommTimeouts(port, &bounded))
                return ReadEnd::failed;
        }
        DWORD n = 0;
        if (!ReadFile(port, chunk, chunkSize, &n, nullptr))
            return ReadEnd::failed;
        *count = n;
        if (unbounded && n < chunkSize)
            return ReadEnd::overLimit;
    }
    return ReadEnd::done;
}

} // namespace

int openSerial(std::uint32_t *handleOut, const char *portName, std::int32_t baudRate, std::int32_t byteSize,
               std::int32_t parity, std::int32_t timeoutMs)
{
    const HANDLE port = CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0 /* exclusive */, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD openError = GetLastError();
    *handleOut = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(port));
    mexPrintf("*hSerial: %d\n", static_cast<int>(static_cast<std::int32_t>(*handleOut)));
    if (port == INVALID_HANDLE_VALUE) {
        if (openError == ERROR_FILE_NOT_FOUND)
            mexErrMsgTxt("Error: serial port does not exist");
        mexErrMsgTxt("Error: opening the serial port");
    }

    DCB state{};
    state.DCBlength = sizeof(DCB);
    if (!GetCommState(port, &state))
        closeAndRaise(port, "Error: setting serial port state");
    state.BaudRate = static_cast<DWORD>(baudRate);
    state.ByteSize = static_cast<BYTE>(byteSize);
    state.Parity = static_cast<BYTE>(parity);
    if (!SetCommState(port, &state))
        closeAndRaise(port, "Error: setting serial port state");

    if (timeoutMs < 0)
        closeAndRaise(port, "Error: setting timeout");
    const auto t = static_cast<DWORD>(timeoutMs);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = t;
    timeouts.ReadTotalTimeoutMultiplier = t;
    timeouts.ReadTotalTimeoutConstant = t;
    timeouts.WriteTotalTimeoutMultiplier = writeTimeoutPerByteMs;
    timeouts.WriteTotalTimeoutConstant = writeTimeoutConstantMs;
    if (!SetCommTimeouts(port, &timeouts))
        closeAndRaise(port, "Error: setting timeout");
    return 1;
}

int writeSerial(const std::uint32_t *handle, const std::uint8_t *bytes, std::uint32_t count)
{
    HANDLE port = INVALID_HANDLE_VALUE;
    COMMTIMEOUTS timeouts{};
    if (!portOf(handle, &port, &timeouts) || !writeAll(port, bytes, count))
        mexErrMsgTxt("Error: could not write to serial port");
    return 1;
}

int readSerialLatest(const std::uint32_t *handle, std::uint8_t *chunk, std::uint32_t *count)
{
    HANDLE port = INVALID_HANDLE_VALUE;
    COMMTIMEOUTS timeouts{};
    if (!portOf(handle, &port, &timeouts))
        mexErrMsgTxt("Error: could not read from serial port");
    FlushFileBuffers(port);
    const bool unbounded = timeouts.ReadIntervalTimeout == 0 && timeouts.ReadTotalTimeoutMultiplier == 0
                           && timeouts.ReadTotalTimeoutConstant == 0;
    const ReadEnd end = drainChunks(port, timeouts, unbounded, chunk, count);
    // The port keeps the time-outs it was opened with, whatever the drain did.
    const bool restored = !unbounded || SetCommTimeouts(port, &timeouts);
    if (end == ReadEnd::overLimit && restored)
        mexErrMsgTxt("Error: the serial line never paused");
    if (end != ReadEnd::done || !restored)
        mexErrMsgTxt("Error: could not read from serial port");
    return 1;
}

int readSerialOnce(const std::uint32_t *handle, std::uint8_t *chunk, std::uint32_t *count)
{
    HANDLE port = INVALID_HANDLE_VALUE;
    COMMTIMEOUTS timeouts{};
    DWORD n = 0;
    if (!portOf(handle, &port, &timeouts) || !ReadFile(port, chunk, chunkSize, &n, nullptr))
        mexErrMsgTxt("Error: could not read from serial port");
    *count = n;
    mexPrintf("NumReadBytes: %d\n", static_cast<int>(n));
    return 1;
}

int closeSerial(const std::uint32_t *handle)
{
    if (*handle == 0xFFFFFFFFu)
        mexErrMsgTxt("Error: serial port does not exist.");
    HANDLE port = INVALID_HANDLE_VALUE;
    COMMTIMEOUTS timeouts{};
    if (!portOf(handle, &port, &timeouts) || !CloseHandle(port))
        mexErrMsgTxt("Error: could not close serial port.");
    return 1;
}
