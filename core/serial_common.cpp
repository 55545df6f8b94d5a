// The port routines as every platform runs them: the record of attached
// ports, the order of the steps, the read time-out rule, the drain of
// readSerialLatest, the write deadline, the drains before reads and closes,
// and the messages. The backend (serial_port.hpp) makes the system calls.
#include "serial.hpp"

#include <algorithm>
#include <cstring>

#include "host_interrupt.hpp"
#include "mex.h"
#include "monotonic_clock.hpp"
#include "raise.hpp"
#include "read_rule.hpp"
#include "serial_port.hpp"

namespace mexlink {

namespace {

enum class ReadEnd { done, failed, overLimit, interrupted };

// A waiting read or write looks at the host's Ctrl-C (and Octave's other
// signals) at least this often, and a long wait is cut into pieces this
// short so the kernel's timer slack (0.1% of a wait) never shows.
constexpr std::int64_t waitSliceNs = 50 * nanosPerMilli;

// Reads up to chunkSize bytes under the time-out rule: the one loop that
// retries a read. `limitNs` cuts the read off (overLimit) even when the rule
// has no deadline yet.
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

// Raises what ended the reads, if it was not the time-out rule.
void endReads(ReadEnd end)
{
    if (end == ReadEnd::failed)
        raiseError(message::readFailed);
    if (end == ReadEnd::overLimit)
        raiseError(message::neverPaused);
    if (end == ReadEnd::interrupted)
        raiseError(message::interrupted);
}

enum class WriteEnd { done, failed, interrupted };

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

enum class DrainEnd { drained, cutShort, interrupted };

// Lets what was written earlier go out: while the queue keeps going down,
// for at most outputDrainLimitMs. A queue that has not moved for
// drainStallMs is held up (flow control, nobody reading) and left as it is.
// Without `interrupt` (the release, which may not raise) it asks nothing of
// the host.
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

// The port the record lists under *handle. Anything it does not list is
// refused with `notAttached` before any call on the handle; a listed port
// whose number no longer names its device (closed behind the plug-ins' back
// and reused) too, where `device` asks for that.
enum class DeviceCheck { none, asked };
Port recordedPort(const std::uint32_t *handle, const Message &notAttached, DeviceCheck device, PortRecord *record)
{
    readPortRecord(record);
    const AttachedPort *entry = findAttached(*record, *handle);
    if (entry == nullptr || (device == DeviceCheck::asked && !portNamesItsDevice(*entry)))
        raiseError(notAttached);
    return *entry;
}

} // namespace

int openSerial(std::uint32_t *handleOut, const char *portName, std::int32_t baudRate, std::int32_t byteSize,
               std::int32_t parity, std::int32_t timeoutMs)
{
    PortRecord record;
    readPortRecord(&record);
    Port port{};
    // A full record takes no port, before anything is opened.
    const OpenOutcome opened =
        record.portCount < maxAttachedPorts ? portOpen(portName, record, &port) : OpenOutcome::refused;
    const std::uint32_t handle = opened == OpenOutcome::opened ? port.handle : invalidPortHandle;
    *handleOut = handle;
    mexPrintf(diagnostic::handleLine, static_cast<int>(static_cast<std::int32_t>(handle)));
    switch (opened) {
    case OpenOutcome::opened: break;
    case OpenOutcome::notFound: raiseError(message::noSuchPort); break;
    case OpenOutcome::busy: raiseError(message::portBusy); break;
    case OpenOutcome::denied: raiseError(message::portDenied); break;
    case OpenOutcome::refused: raiseError(message::openFailed); break;
    }

    const SetupOutcome setUp = portSetUp(port, baudRate, byteSize, parity, timeoutMs);
    if (setUp != SetupOutcome::done) {
        portAbandon(port);
        if (setUp == SetupOutcome::busy)
            raiseError(message::portBusy);
        raiseError(setUp == SetupOutcome::timeoutRefused ? message::timeoutFailed : message::stateFailed);
    }
    port.timeoutMs = static_cast<std::uint32_t>(timeoutMs);
    if (!addAttached(&record, port) || !writePortRecord(record)) {
        portClose(port, false);
        raiseError(message::openFailed);
    }
    return 1;
}

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
    // Each chunk is read behind room for the carry; before the next read the
    // end of the full chunk moves into that room.
    std::uint8_t *const chunk = stream + latestCarrySize;
    std::uint32_t carried = 0;
    std::uint32_t last = 0;
    ReadEnd end = ReadEnd::done;
    for (bool first = true; end == ReadEnd::done && (first || last == chunkSize); first = false) {
        if (!first) {
            std::memcpy(stream, chunk + chunkSize - latestCarrySize, latestCarrySize);
            carried = latestCarrySize;
        }
        end = monotonicNanos() > lastStart ? ReadEnd::overLimit : readChunk(port, limit, &interrupt, chunk, &last);
    }
    endReads(end);
    std::memmove(stream, stream + latestCarrySize - carried, carried + last);
    *count = carried + last;
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
