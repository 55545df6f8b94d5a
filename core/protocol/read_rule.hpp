// The read time-out rule of a port configured with T milliseconds: a read of
// 50 bytes ends when all have arrived, when more than T ms pass after a byte
// without the next one, or when T + 50*T ms have passed since the read began.
// T = 0 means no time-out at all. Times are monotonic nanoseconds.
//
// readSerialLatest reads such chunks until one ends short and hands back the
// newest bytes of all it read: the last chunk, after the end of the full
// chunk before it, so a status frame cut by a chunk boundary is still whole.
#pragma once

#include <cstdint>
#include <cstring>

#include "protocol/instants.hpp"

namespace mexlink {

// One read asks for this many bytes.
constexpr std::uint32_t chunkSize = 50;

constexpr std::int64_t readTotalNanos(std::uint32_t timeoutMs)
{
    return (static_cast<std::int64_t>(timeoutMs) * 51) * nanosPerMilli;
}

// Instant at which the read must end if no further byte arrives.
constexpr std::int64_t earlierOf(std::int64_t a, std::int64_t b) { return a < b ? a : b; }
constexpr std::int64_t readDeadline(std::int64_t startNs, std::int64_t lastByteNs, std::uint32_t received,
                                    std::uint32_t timeoutMs)
{
    return timeoutMs == 0 ? noDeadline
           : received == 0
               ? startNs + readTotalNanos(timeoutMs)
               : earlierOf(lastByteNs + static_cast<std::int64_t>(timeoutMs) * nanosPerMilli,
                           startNs + readTotalNanos(timeoutMs));
}

// The carry: how many bytes of a full chunk go along with the next chunk (one
// less than the shortest frame decoded, so the kept bytes never hold a whole
// frame of their own), and the buffer that holds both.
constexpr std::uint32_t latestCarrySize = 22;
constexpr std::uint32_t latestStreamSize = latestCarrySize + chunkSize;

// Each chunk is read to stream + latestCarrySize. Before the read after a
// full chunk, its end moves into the room in front of it.
inline void carryFullChunk(std::uint8_t *stream)
{
    std::memcpy(stream, stream + chunkSize, latestCarrySize);
}

// After the last chunk (`last` bytes) the newest bytes, packed to the front
// of `stream`: the carry when there was one (`carried`), then the chunk.
// Returns their count, 0 to latestStreamSize - 1.
inline std::uint32_t packNewest(std::uint8_t *stream, bool carried, std::uint32_t last)
{
    const std::uint32_t kept = carried ? latestCarrySize : 0;
    std::memmove(stream, stream + latestCarrySize - kept, kept + last);
    return kept + last;
}

} // namespace mexlink
