// The read time-out rule, over every time-out and any instants a monotonic
// clock can give (0..2^62 ns), any byte count, as a read sees it: it ends no
// later than T + 50*T after it began, no later than T after the last byte,
// never at once, not earlier than either ending asks; a later byte never
// ends it sooner; T = 0 never ends it by time. Waits in milliseconds never
// end before the deadline, nor a whole millisecond after it.
#include <algorithm>
#include <climits>

#include "byte_reader.hpp"
#include "protocol/read_rule.hpp"

using namespace mexlink;

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

    const std::int64_t deadline = readDeadline(start, lastByte, received, timeoutMs);
    if (timeoutMs == 0) {
        FUZZ_CHECK(deadline == noDeadline);
    } else {
        const std::int64_t t = std::int64_t(timeoutMs) * nanosPerMilli;
        const std::int64_t total = start + t + 50 * t;
        FUZZ_CHECK(deadline > start && deadline <= total);
        if (received == 0) {
            FUZZ_CHECK(deadline == total);
        } else {
            FUZZ_CHECK(deadline <= lastByte + t);
            FUZZ_CHECK(deadline >= std::min(total, lastByte + t));
            // A byte a millisecond later never brings the end closer.
            FUZZ_CHECK(readDeadline(start, lastByte + nanosPerMilli, received, timeoutMs) >= deadline);
        }
    }

    const int wait = millisUntil(now, deadline);
    if (deadline == noDeadline) {
        FUZZ_CHECK(wait == -1);
    } else if (deadline <= now) {
        FUZZ_CHECK(wait == 0);
    } else if (wait < INT_MAX) {
        const std::int64_t gap = deadline - now;
        FUZZ_CHECK(std::int64_t(wait) * nanosPerMilli >= gap);
        FUZZ_CHECK(std::int64_t(wait - 1) * nanosPerMilli < gap);
    }
    return 0;
}
