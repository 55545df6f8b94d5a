#include "port/transfer.hpp"

#include <algorithm>

#include "frame/raise.hpp"
#include "port/platform.hpp"
#include "protocol/read_rule.hpp"

namespace mexlink {

ReadEnd readChunk(const Port &port, std::int64_t limitNs, HostInterrupt *interrupt, std::uint8_t *chunk,
                  std::uint32_t *count)
{
    const std::int64_t start = monotonicNanos();
    std::int64_t lastByte = start;
    std::uint32_t received = 0;
    while (received < chunkSize) {
        const std::int64_t now = monotonicNanos();
        const std::int64_t deadline = readDeadline(start, lastByte, received, port.timeoutMs);
        const std::int64_t waitEnd = std::min({deadline, limitNs, now + waitSliceNs});
        std::uint32_t got = 0;
        if (!portRead(port, chunk + received, chunkSize - received, waitEnd, &got))
            return ReadEnd::failed;
        if (got > 0) {
            received += got;
            lastByte = monotonicNanos();
            continue;
        }
        if (now >= deadline)
            break;
        if (now >= limitNs) {
            *count = received;
            return ReadEnd::overLimit;
        }
        if (hostInterruptPending(interrupt))
            return ReadEnd::interrupted;
    }
    *count = received;
    return ReadEnd::done;
}

void endReads(ReadEnd end)
{
    if (end == ReadEnd::failed)
        raiseError(message::readFailed);
    if (end == ReadEnd::overLimit)
        raiseError(message::neverPaused);
    if (end == ReadEnd::interrupted)
        raiseError(message::interrupted);
}

WriteEnd writeAll(const Port &port, const std::uint8_t *bytes, std::uint32_t count)
{
    // Nearly every telegram goes out in one go: the clock is read only when not.
    std::uint32_t written = 0;
    if (!portWrite(port, bytes, count, noWait, &written))
        return WriteEnd::failed;
    if (written == count)
        return WriteEnd::done;
    HostInterrupt interrupt;
    const std::int64_t deadline =
        monotonicNanos() + millisToNanos(writeTimeoutConstantMs + std::int64_t(writeTimeoutPerByteMs) * count);
    while (written < count) {
        const std::int64_t now = monotonicNanos();
        std::uint32_t n = 0;
        if (!portWrite(port, bytes + written, count - written, std::min(deadline, now + waitSliceNs), &n))
            return WriteEnd::failed;
        written += n;
        if (n > 0)
            continue;
        if (now >= deadline)
            return WriteEnd::failed;
        if (hostInterruptPending(&interrupt))
            return WriteEnd::interrupted;
    }
    return WriteEnd::done;
}

DrainEnd drainOutput(const Port &port, HostInterrupt *interrupt)
{
    std::uint32_t queued = portOutputQueued(port);
    if (queued == 0)
        return DrainEnd::drained;
    const std::int64_t start = monotonicNanos();
    std::int64_t moved = start;
    while (queued > 0) {
        const std::int64_t now = monotonicNanos();
        if (now - moved >= millisToNanos(drainStallMs) || now - start >= millisToNanos(outputDrainLimitMs))
            return DrainEnd::cutShort;
        if (interrupt != nullptr && hostInterruptPending(interrupt))
            return DrainEnd::interrupted;
        sleepMillis(1);
        const std::uint32_t left = portOutputQueued(port);
        if (left < queued)
            moved = monotonicNanos();
        queued = left;
    }
    return DrainEnd::drained;
}

} // namespace mexlink
