// Read time-out arithmetic over every time-out and any instants a monotonic
// clock can give (0..2^62 ns), any byte count: the deadline follows the
// rule and the poll wait never ends before it.
#include <climits>

#include "byte_reader.hpp"
#include "read_rule.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ByteReader in(data, size);
    constexpr std::int64_t clockSpan = std::int64_t(1) << 62;
    const std::int64_t start = static_cast<std::int64_t>(in.value<std::uint64_t>() % clockSpan);
    const std::int64_t sinceStart = static_cast<std::int64_t>(in.value<std::uint64_t>() % (std::int64_t(1) << 48));
    const std::int64_t lastByte = start + sinceStart;
    const std::uint32_t received = in.value<std::uint32_t>();
    const std::uint32_t timeoutMs = in.value<std::uint32_t>();
    const std::int64_t nowOffset = static_cast<std::int64_t>(in.value<std::uint64_t>() % (std::int64_t(1) << 50));
    const std::int64_t now = start + nowOffset;

    const std::int64_t total = readTotalNanos(timeoutMs);
    FUZZ_CHECK(total == std::int64_t(timeoutMs) * 51 * nanosPerMilli);

    const std::int64_t deadline = readDeadline(start, lastByte, received, timeoutMs);
    if (timeoutMs == 0) {
        FUZZ_CHECK(deadline == noDeadline);
    } else if (received == 0) {
        FUZZ_CHECK(deadline == start + total);
    } else {
        // The interval after the last byte, never past the total.
        const std::int64_t interval = lastByte + std::int64_t(timeoutMs) * nanosPerMilli;
        FUZZ_CHECK(deadline <= start + total && deadline <= interval);
        FUZZ_CHECK(deadline == start + total || deadline == interval);
    }

    const int wait = pollMillis(now, deadline);
    if (deadline == noDeadline) {
        FUZZ_CHECK(wait == -1);
    } else if (deadline <= now) {
        FUZZ_CHECK(wait == 0);
    } else {
        FUZZ_CHECK(wait > 0);
        const std::int64_t gap = deadline - now;
        if (wait < INT_MAX) {
            // Rounded up: never early, never a whole millisecond late.
            FUZZ_CHECK(std::int64_t(wait) * nanosPerMilli >= gap);
            FUZZ_CHECK(std::int64_t(wait - 1) * nanosPerMilli < gap);
        } else {
            FUZZ_CHECK(gap > std::int64_t(INT_MAX - 1) * nanosPerMilli);
        }
    }
    return 0;
}
