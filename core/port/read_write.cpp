// Writing a telegram, and the two reads: the newest bytes of all that
// arrived (readSerialLatest) and one read as it comes (readSerialOnce).
#include "frame/raise.hpp"
#include "mex.h"
#include "port/attached.hpp"
#include "port/platform.hpp"
#include "port/serial.hpp"
#include "port/transfer.hpp"

namespace mexlink {

int writeSerial(const std::uint32_t *handle, const std::uint8_t *bytes, std::uint32_t count)
{
    // A write asks the record alone: listed ports are the plug-ins' own, and
    // this is the path whose every call counts.
    PortRecord record;
    const Port port = recordedPort(handle, message::notAttachedForWrite, DeviceCheck::none, &record);
    const WriteEnd end = writeAll(port, bytes, count);
    if (end == WriteEnd::interrupted)
        raiseError(message::interruptedWrite);
    if (end == WriteEnd::failed)
        raiseError(message::writeFailed);
    return 1;
}

int readSerialLatest(const std::uint32_t *handle, std::uint8_t *stream, std::uint32_t *count)
{
    PortRecord record;
    const Port port = recordedPort(handle, message::notAttachedForRead, DeviceCheck::asked, &record);
    HostInterrupt interrupt;
    if (drainOutput(port, &interrupt) == DrainEnd::interrupted)
        raiseError(message::interrupted);

    const std::int64_t start = monotonicNanos();
    const std::int64_t lastStart = start + millisToNanos(latestDrainLimitMs);
    const std::int64_t limit = lastStart + readTotalNanos(port.timeoutMs);
    std::uint8_t *const chunk = stream + latestCarrySize;
    std::uint32_t last = 0;
    bool carried = false;
    ReadEnd end = ReadEnd::done;
    for (bool first = true; end == ReadEnd::done && (first || last == chunkSize); first = false) {
        if (!first) {
            carryFullChunk(stream);
            carried = true;
        }
        end = monotonicNanos() > lastStart ? ReadEnd::overLimit : readChunk(port, limit, &interrupt, chunk, &last);
    }
    endReads(end);
    *count = packNewest(stream, carried, last);
    return 1;
}

int readSerialOnce(const std::uint32_t *handle, std::uint8_t *chunk, std::uint32_t *count)
{
    PortRecord record;
    const Port port = recordedPort(handle, message::notAttachedForRead, DeviceCheck::asked, &record);
    HostInterrupt interrupt;
    endReads(readChunk(port, noDeadline, &interrupt, chunk, count));
    mexPrintf(diagnostic::readCountLine, static_cast<int>(*count));
    return 1;
}

} // namespace mexlink
