// The port routines as every platform runs them: the order of the steps, the
// read time-out rule, the drain of readSerialLatest, the write deadline and
// the messages. The backend (serial_port.hpp) makes the system calls.
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

// A waiting read looks at the host's Ctrl-C at least this often, and a long
// wait is cut into pieces this short so the kernel's timer slack (0.1% of a
// wait) never shows.
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

int writeAll(const Port &port, const std::uint8_t *bytes, std::uint32_t count)
{
    // Nearly every telegram goes out in one go: the clock is read only when not.
    std::uint32_t written = 0;
    if (!portWrite(port, bytes, count, noWait, &written))
        return 0;
    const std::int64_t deadline =
        monotonicNanos() + millisToNanos(writeTimeoutConstantMs + std::int64_t(writeTimeoutPerByteMs) * count);
    while (written < count) {
        const std::int64_t now = monotonicNanos();
        std::uint32_t n = 0;
        if (!portWrite(port, bytes + written, count - written, deadline, &n))
            return 0;
        written += n;
        if (n == 0 && now >= deadline)
            return 0;
    }
    return 1;
}

// The port `*handle` names, proven to be one this process attached and still
// holds; anything else is refused with `notAttached` before any I/O, and a
// port of ours whose device went away fails with `failed`.
Port foundPort(const std::uint32_t *handle, const Message &notAttached, const Message &failed)
{
    Port port;
    const Proof proof = proveAttached(*handle, &port.timeoutMs);
    port.handle = *handle;
    if (proof == Proof::notOurs)
        raiseError(notAttached);
    if (proof == Proof::oursFailed)
        raiseError(failed);
    return port;
}

} // namespace

int openSerial(std::uint32_t *handleOut, const char *portName, std::int32_t baudRate, std::int32_t byteSize,
               std::int32_t parity, std::int32_t timeoutMs)
{
    std::uint32_t handle = invalidPortHandle;
    const OpenOutcome opened = portOpen(portName, &handle);
    if (opened != OpenOutcome::opened)
        handle = invalidPortHandle;
    *handleOut = handle;
    mexPrintf(diagnostic::handleLine, static_cast<int>(static_cast<std::int32_t>(handle)));
    switch (opened) {
    case OpenOutcome::opened: break;
    case OpenOutcome::notFound: raiseError(message::noSuchPort); break;
    case OpenOutcome::busy: raiseError(message::portBusy); break;
    case OpenOutcome::denied: raiseError(message::portDenied); break;
    case OpenOutcome::refused: raiseError(message::openFailed); break;
    }

    const SetupOutcome setUp = portSetUp(handle, baudRate, byteSize, parity, timeoutMs);
    if (setUp == SetupOutcome::done)
        return 1;
    portAbandon(handle);
    if (setUp == SetupOutcome::busy)
        raiseError(message::portBusy);
    raiseError(setUp == SetupOutcome::timeoutRefused ? message::timeoutFailed : message::stateFailed);
    return 0;
}

int writeSerial(const std::uint32_t *handle, const std::uint8_t *bytes, std::uint32_t count)
{
    Port port = foundPort(handle, message::notAttachedForWrite, message::writeFailed);
    if (!writeAll(port, bytes, count))
        raiseError(message::writeFailed);
    return 1;
}

int readSerialLatest(const std::uint32_t *handle, std::uint8_t *stream, std::uint32_t *count)
{
    Port port = foundPort(handle, message::notAttachedForRead, message::readFailed);
    portDrainOutput(port);

    HostInterrupt interrupt;
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
    Port port = foundPort(handle, message::notAttachedForRead, message::readFailed);
    HostInterrupt interrupt;
    endReads(readChunk(port, noDeadline, &interrupt, chunk, count));
    mexPrintf(diagnostic::readCountLine, static_cast<int>(*count));
    return 1;
}

int closeSerial(const std::uint32_t *handle)
{
    if (*handle == invalidPortHandle)
        raiseError(message::noPortToClose);
    const CloseOutcome closed = portClose(*handle);
    if (closed == CloseOutcome::notOurs)
        raiseError(message::notAttachedForClose);
    if (closed == CloseOutcome::failed)
        raiseError(message::closeFailed);
    return 1;
}

void releaseAttachedPorts() { portReleaseAll(); }

} // namespace mexlink
