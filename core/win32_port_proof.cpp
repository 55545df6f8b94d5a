// Win32: the proof is in the port's own state, T in its time-outs.
//
// - The event mask holds a marker (EV_EVENT1, EV_EVENT2 and EV_PERR together)
//   and the low 8 bits of the handle's value over four (handle values are
//   multiples of four below 2^26): the plug-ins never wait for events, so
//   the mask only says what a wait would report.
// - XonChar holds the next 8 bits and EofChar the top 8, XoffChar the
//   complement of XonChar (so the two always differ, as SetCommState asks):
//   with XON/XOFF off and binary mode (both set by the attach) the port uses
//   none of them.
// - T is the port's ReadIntervalTimeout, where the attach puts it.
// A second handle of the same port (DuplicateHandle) or a number the host
// reused for another port finds another value, or no marker. Rate, parity,
// flow control and time-outs, what the mode command and the Device Manager
// change, are not part of the proof.
#include "port_proof.hpp"

#include "win32_handle.hpp"

namespace mexlink {

namespace {

constexpr DWORD markerEvents = EV_EVENT1 | EV_EVENT2 | EV_PERR;
constexpr DWORD valueEvents = 0xFF; // EV_RXCHAR .. EV_ERR
// What the characters hold on a port nobody has configured.
constexpr char freshXon = 0x11;
constexpr char freshXoff = 0x13;
constexpr char freshEof = 0x00;

std::uint32_t handleBits(std::uint32_t value) { return (value >> 2) & 0xFFFFFFu; }

int writeChars(HANDLE port, char xon, char xoff, char eof)
{
    DCB state{};
    state.DCBlength = sizeof(DCB);
    if (!GetCommState(port, &state))
        return 0;
    state.XonChar = xon;
    state.XoffChar = xoff;
    state.EofChar = eof;
    return SetCommState(port, &state) != 0;
}

} // namespace

int markAttached(std::uint32_t handle, std::uint32_t timeoutMs)
{
    if (!plausibleHandle(handle) || handle >= (1u << 26))
        return 0;
    const HANDLE port = handleFrom(handle);
    DWORD foundEvents = 0;
    if (!GetCommMask(port, &foundEvents))
        return 0;
    const std::uint32_t bits = handleBits(handle);
    const auto xon = static_cast<char>((bits >> 8) & 0xFF);
    std::uint32_t stored = 0;
    if (SetCommMask(port, markerEvents | (bits & valueEvents))
        && writeChars(port, xon, static_cast<char>(~xon), static_cast<char>(bits >> 16))
        && proveAttached(handle, &stored) == Proof::ours && stored == timeoutMs)
        return 1;
    // A mark that did not take leaves the event mask as it was found (the
    // caller puts back the state it found).
    SetCommMask(port, foundEvents);
    return 0;
}

Proof proveAttached(std::uint32_t handle, std::uint32_t *timeoutMs)
{
    if (!plausibleHandle(handle))
        return Proof::notOurs;
    const HANDLE port = handleFrom(handle);
    if (GetFileType(port) != FILE_TYPE_CHAR)
        return Proof::notOurs;
    DWORD events = 0;
    DCB state{};
    state.DCBlength = sizeof(DCB);
    COMMTIMEOUTS timeouts{};
    if (!GetCommMask(port, &events) || (events & ~valueEvents) != markerEvents || !GetCommState(port, &state))
        return Proof::notOurs;
    const auto xon = static_cast<unsigned char>(state.XonChar);
    const std::uint32_t bits = (events & valueEvents) | std::uint32_t(xon) << 8
                               | std::uint32_t(static_cast<unsigned char>(state.EofChar)) << 16;
    if (bits != handleBits(handle) || static_cast<unsigned char>(state.XoffChar) != static_cast<unsigned char>(~xon)
        || !GetCommTimeouts(port, &timeouts))
        return Proof::notOurs;
    *timeoutMs = timeouts.ReadIntervalTimeout;
    return Proof::ours;
}

void unmarkAttached(std::uint32_t handle)
{
    if (!plausibleHandle(handle))
        return;
    const HANDLE port = handleFrom(handle);
    SetCommMask(port, 0);
    writeChars(port, freshXon, freshXoff, freshEof);
}

} // namespace mexlink
