// Attaching and letting go of a port: the order of the steps, the record kept
// up to date, and the messages.
#include "frame/raise.hpp"
#include "mex.h"
#include "port/attached.hpp"
#include "port/opening.hpp"
#include "port/serial.hpp"
#include "port/transfer.hpp"

namespace mexlink {

int openSerial(std::uint32_t *handleOut, const char *portName, std::int32_t baudRate, std::int32_t byteSize,
               std::int32_t parity, std::int32_t timeoutMs)
{
    PortRecord record;
    readPortRecord(&record);
    NamedPort named{};
    // A full record takes no port, before anything is opened.
    const OpenOutcome opened =
        record.portCount < maxAttachedPorts ? openNamedPort(portName, record, &named) : OpenOutcome::tooManyPorts;
    Port port = named.port;
    const std::uint32_t handle = opened == OpenOutcome::opened ? port.handle : invalidPortHandle;
    *handleOut = handle;
    mexPrintf(diagnostic::handleLine, static_cast<int>(static_cast<std::int32_t>(handle)));
    endOpenFailure(portName, named, opened);
    setUpOpenedPort(named, baudRate, byteSize, parity, timeoutMs);
    port.timeoutMs = static_cast<std::uint32_t>(timeoutMs);
    if (!addAttached(&record, port) || !writePortRecord(record)) {
        portClose(port, false);
        raiseError(message::openFailed);
    }
    // Once recorded: should the host make the warning an error, the record
    // still closes the port.
    noteIncomingPort(portName, named);
    return 1;
}

int closeSerial(const std::uint32_t *handle)
{
    if (*handle == invalidPortHandle)
        raiseError(message::noPortToClose);
    PortRecord record;
    const Port port = recordedPort(handle, message::notAttachedForClose, DeviceCheck::none, &record);
    if (!portNamesItsDevice(port)) {
        // Closed behind the plug-ins' back: the number is someone else's now.
        removeAttached(&record, port.handle);
        writePortRecord(record);
        raiseError(message::notAttachedForClose);
    }
    // Drained while still listed: should Octave end the session meanwhile,
    // the release still finds the port. Ctrl-C only cuts the drain short.
    HostInterrupt interrupt;
    const bool drained = drainOutput(port, &interrupt) == DrainEnd::drained;
    removeAttached(&record, port.handle);
    if (!writePortRecord(record))
        raiseError(message::closeFailed);
    if (!portClose(port, drained))
        raiseError(message::closeFailed);
    return 1;
}

void releaseAttachedPorts()
{
    // The record lets go of every port first, then each is closed as
    // linkDetach closes it; nothing the record does not list is touched.
    PortRecord record;
    readPortRecord(&record);
    PortRecord released = record;
    for (std::uint32_t i = 0; i < record.portCount; ++i)
        removeAttached(&released, record.ports[i].handle);
    if (record.portCount == 0 || !writePortRecord(released))
        return;
    for (std::uint32_t i = 0; i < record.portCount; ++i) {
        const Port &port = record.ports[i];
        if (portNamesItsDevice(port))
            portClose(port, drainOutput(port, nullptr) == DrainEnd::drained);
    }
}

} // namespace mexlink
