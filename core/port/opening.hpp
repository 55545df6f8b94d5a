// Opening a port by its name and setting it up, as linkAttach and linkProbe
// do: a serial device, or a socket (socket://HOST:PORT), with the messages of
// each failure and the warning that names its cause.
#pragma once

#include <cstdint>

#include "port/platform.hpp"

namespace mexlink {

struct NamedPort {
    PortNameKind kind;
    Port port;
    // The system's own words on a failure, for the warning (platform.hpp).
    char cause[causeCapacity];
    // Whether the system lists the device as a Bluetooth link's Incoming
    // port (port/port_list.hpp), which the user is told of.
    bool incoming;
};

// Opens the port `portName` names, under a number `record` does not name as
// recently freed where the system lets it choose.
OpenOutcome openNamedPort(const char *portName, const PortRecord &record, NamedPort *named);

// Returns when the port was opened; otherwise raises the failure's message,
// after the warning that names its cause where the text hides it.
void endOpenFailure(const char *portName, const NamedPort &named, OpenOutcome opened);

// The warning for an opened port the system lists as a Bluetooth link's
// Incoming port; nothing for any other.
void noteIncomingPort(const char *portName, const NamedPort &named);

// Applies the line settings and the read time-out T to an opened port (a
// socket takes none, but is checked as a serial port would be); when they
// are refused, closes the port and raises.
void setUpOpenedPort(const NamedPort &named, std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
                     std::int32_t timeoutMs);

} // namespace mexlink
