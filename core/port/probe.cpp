// What linkProbe measures: when, and how many, bytes arrive on a port.
#include <algorithm>

#include "frame/raise.hpp"
#include "port/opening.hpp"
#include "port/serial.hpp"
#include "port/transfer.hpp"

namespace mexlink {

int probeSerial(const char *portName, std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
                std::int64_t durationNs, Burst *bursts, std::uint32_t capacity, std::uint32_t *count)
{
    // Outside the record, the port's number is never handed to anyone.
    PortRecord none;
    emptyRecord(&none);
    NamedPort named;
    const OpenOutcome opened = openNamedPort(portName, none, &named);
    endOpenFailure(portName, named, opened);
    const Port &port = named.port;
    DeviceSettings found;
    const bool kept = named.kind == PortNameKind::device && serialSaveSettings(port, &found);
    setUpOpenedPort(named, baudRate, byteSize, parity, 1);

    HostInterrupt interrupt;
    std::uint8_t arrived[256];
    const std::int64_t start = monotonicNanos();
    const std::int64_t end = start + durationNs;
    ReadEnd ended = ReadEnd::done;
    *count = 0;
    for (std::int64_t now = start; now < end; now = monotonicNanos()) {
        std::uint32_t got = 0;
        if (!portRead(port, arrived, sizeof arrived, std::min(end, now + waitSliceNs), &got)) {
            ended = ReadEnd::failed;
            break;
        }
        if (got > 0 && !addArrival(bursts, capacity, count, monotonicNanos() - start, got))
            break;
        if (got == 0 && hostInterruptPending(&interrupt)) {
            ended = ReadEnd::interrupted;
            break;
        }
    }
    if (kept)
        serialRestoreSettings(port, found);
    portClose(port, true);
    endReads(ended);
    return 1;
}

} // namespace mexlink
