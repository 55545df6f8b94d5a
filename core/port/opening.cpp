// Opening a port by its name: the order of the steps and the messages.
#include "port/opening.hpp"

#include <algorithm>
#include <cstdio>

#include "frame/raise.hpp"
#include "mex.h"
#include "port/port_list.hpp"
#include "port/transfer.hpp"

namespace mexlink {

namespace {

// A socket's connection comes up within this long, its host's lookup
// included, or the attach fails.
constexpr std::uint32_t socketConnectLimitMs = 5000;

OpenOutcome openSocket(const SocketName &name, const PortRecord &record, Port *port, char *cause)
{
    HostInterrupt interrupt;
    const std::int64_t deadline = monotonicNanos() + millisToNanos(socketConnectLimitMs);
    SocketLookup *lookup = socketLookupStart(name);
    if (lookup == nullptr)
        return OpenOutcome::refused;
    LookupState found = LookupState::pending;
    OpenOutcome outcome = OpenOutcome::timedOut;
    for (;;) {
        const std::int64_t waitEnd = std::min(deadline, monotonicNanos() + waitSliceNs);
        if (found == LookupState::pending)
            found = socketLookupWait(lookup, waitEnd, cause);
        if (found == LookupState::notFound) {
            outcome = OpenOutcome::notFound;
            break;
        }
        if (found == LookupState::found) {
            outcome = socketConnectWait(lookup, record, waitEnd, port, cause);
            if (outcome != OpenOutcome::timedOut)
                break;
        }
        if (monotonicNanos() >= deadline)
            break;
        if (hostInterruptPending(&interrupt)) {
            outcome = OpenOutcome::interrupted;
            break;
        }
    }
    socketLookupEnd(lookup);
    return outcome;
}

// Before an open error whose text several causes share: a warning that
// names this one, with the error's identifier.
void explainOpenFailure(const char *portName, const NamedPort &named, OpenOutcome outcome, const Message &error)
{
    const PortNameKind kind = named.kind;
    const char *what = "";
    switch (outcome) {
    case OpenOutcome::busy: what = "another program, or another handle of this session, holds it"; break;
    case OpenOutcome::denied:
        what = "no permission (on Linux: join the port's group, e.g. sudo usermod -aG dialout $USER, "
               "and log in again)";
        break;
    case OpenOutcome::refused: what = "the system would not open it"; break;
    case OpenOutcome::connectionRefused:
        what = "nothing accepts connections there (is the server running, on that port? one that serves a "
               "single client refuses a second)";
        break;
    case OpenOutcome::timedOut: what = "no connection within 5 s"; break;
    case OpenOutcome::tooManyPorts: what = "32 ports are attached in this session already: linkDetach one first"; break;
    case OpenOutcome::notFound:
        what = kind == PortNameKind::malformed ? "not of the form socket://HOST:PORT (PORT 1 to 65535; an IPv6 "
                                                 "address in brackets)"
               : kind == PortNameKind::socket ? "the host's name does not resolve"
                                              : "";
        break;
    case OpenOutcome::opened:
    case OpenOutcome::interrupted: return;
    }
    // A Bluetooth link's Incoming port: the system's words, then the note.
    char cause[causeCapacity + sizeof message::incomingPortNote + 2];
    std::snprintf(cause, sizeof cause, "%s%s%s", named.cause, named.incoming && named.cause[0] != '\0' ? "; " : "",
                  named.incoming ? message::incomingPortNote : "");
    if (what[0] == '\0' && cause[0] == '\0')
        return;
    mexWarnMsgIdAndTxt(message::openCause.id, message::openCause.text, portName, what,
                       what[0] != '\0' && cause[0] != '\0' ? ": " : "", cause, error.id);
}

// A socket takes no line settings, but is given what a serial port would
// take: a rate above 0, 5 to 8 data bits, a parity code 0 to 4 (the low 8
// bits of each, as on a serial port), and T of 0 or more.
SetupOutcome socketSettingsCheck(std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
                                 std::int32_t timeoutMs)
{
    const std::uint8_t bits = static_cast<std::uint8_t>(byteSize);
    if (baudRate <= 0 || bits < 5 || bits > 8 || static_cast<std::uint8_t>(parity) > 4)
        return SetupOutcome::stateRefused;
    return timeoutMs < 0 ? SetupOutcome::timeoutRefused : SetupOutcome::done;
}

} // namespace

OpenOutcome openNamedPort(const char *portName, const PortRecord &record, NamedPort *named)
{
    named->port = Port{};
    named->cause[0] = '\0';
    named->incoming = false;
    SocketName socket;
    named->kind = parsePortName(portName, &socket);
    if (named->kind == PortNameKind::device) {
        const OpenOutcome opened = serialOpen(portName, record, &named->port, named->cause);
        named->incoming = listedBluetoothDirection(portName) == BluetoothDirection::incoming;
        return opened;
    }
    return named->kind == PortNameKind::socket ? openSocket(socket, record, &named->port, named->cause)
                                               : OpenOutcome::notFound;
}

void endOpenFailure(const char *portName, const NamedPort &named, OpenOutcome opened)
{
    const Message *error = nullptr;
    switch (opened) {
    case OpenOutcome::opened: return;
    case OpenOutcome::notFound: error = &message::noSuchPort; break;
    case OpenOutcome::busy: error = &message::portBusy; break;
    case OpenOutcome::denied: error = &message::portDenied; break;
    case OpenOutcome::refused:
    case OpenOutcome::connectionRefused:
    case OpenOutcome::timedOut: error = &message::openFailed; break;
    case OpenOutcome::interrupted: error = &message::interruptedConnect; break;
    case OpenOutcome::tooManyPorts: error = &message::tooManyPorts; break;
    }
    explainOpenFailure(portName, named, opened, *error);
    raiseError(*error);
}

void noteIncomingPort(const char *portName, const NamedPort &named)
{
    if (named.incoming)
        mexWarnMsgIdAndTxt(message::incomingPort.id, message::incomingPort.text, portName, message::incomingPortNote);
}

void setUpOpenedPort(const NamedPort &named, std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
                     std::int32_t timeoutMs)
{
    const SetupOutcome setUp = named.kind == PortNameKind::device
                                   ? serialSetUp(named.port, baudRate, byteSize, parity, timeoutMs)
                                   : socketSettingsCheck(baudRate, byteSize, parity, timeoutMs);
    if (setUp == SetupOutcome::done)
        return;
    portAbandon(named.port);
    if (setUp == SetupOutcome::busy)
        raiseError(message::portBusy);
    raiseError(setUp == SetupOutcome::timeoutRefused ? message::timeoutFailed : message::stateFailed);
}

} // namespace mexlink
