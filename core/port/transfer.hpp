// The waits of the port routines, each bounded and each ended by Ctrl-C: the
// one loop that retries a read under the read rule, the one that retries a
// write until its deadline, and the drain of output written earlier.
#pragma once

#include <cstdint>

#include "port/host_interrupt.hpp"
#include "port/record.hpp"
#include "protocol/instants.hpp"

namespace mexlink {

// Writes give up after writeTimeoutConstantMs + writeTimeoutPerByteMs * count
// (the write time-outs of the port), so a stalled port fails instead of hanging.
constexpr std::uint32_t writeTimeoutConstantMs = 2000;
constexpr std::uint32_t writeTimeoutPerByteMs = 10;

// Before the status read and before a close, output written earlier is let
// go out for at most this long, and no longer than this once it stops
// moving (more than a byte's time at 50 baud).
constexpr std::uint32_t outputDrainLimitMs = 2000;
constexpr std::uint32_t drainStallMs = 500;

// readSerialLatest starts no new read once this long has passed since the
// call began (and a read with no time-outs is cut off there): a controller
// that never pauses cannot hold the caller forever.
constexpr std::uint32_t latestDrainLimitMs = 2000;

// A waiting read, write or connect looks at the host's Ctrl-C (and Octave's
// other signals) at least this often, and a long wait is cut into pieces
// this short so the kernel's timer slack (0.1% of a wait) never shows.
constexpr std::int64_t waitSliceNs = 50 * nanosPerMilli;

enum class ReadEnd { done, failed, overLimit, interrupted };

// Reads up to chunkSize bytes under the read rule. `limitNs` cuts the read
// off (overLimit) even when the rule has no deadline yet.
ReadEnd readChunk(const Port &port, std::int64_t limitNs, HostInterrupt *interrupt, std::uint8_t *chunk,
                  std::uint32_t *count);

// Raises what ended the reads, if it was not the read rule.
void endReads(ReadEnd end);

enum class WriteEnd { done, failed, interrupted };

WriteEnd writeAll(const Port &port, const std::uint8_t *bytes, std::uint32_t count);

enum class DrainEnd { drained, cutShort, interrupted };

// Lets what was written earlier go out: while the queue keeps going down,
// for at most outputDrainLimitMs. A queue that has not moved for
// drainStallMs is held up (flow control, nobody reading) and left as it is.
// Without `interrupt` (the release, which may not raise) it asks nothing of
// the host.
DrainEnd drainOutput(const Port &port, HostInterrupt *interrupt);

} // namespace mexlink
