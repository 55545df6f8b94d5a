// Status decoder and tail over arbitrary chunks of 0..50 bytes. The chunk
// lives in a buffer of exactly `count` bytes so any read past it is caught.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "byte_reader.hpp"
#include "protocol/status_frames.hpp"

using namespace mexlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ByteReader in(data, size);
    const std::uint32_t count = in.byte() % 51;
    std::vector<std::uint8_t> chunk(count);
    in.bytes(chunk.data(), count);
    const std::uint8_t *bytes = count ? chunk.data() : nullptr;

    double values[statusValueCount] = {};
    std::int8_t flag = 0;
    decodeStatusFrame(bytes, count, values, &flag);
    if (count < statusFrameMinimum) {
        FUZZ_CHECK(flag == 1);
        for (const double v : values)
            FUZZ_CHECK(v == 0.0);
    } else {
        FUZZ_CHECK(flag == 0);
        // Counters are 16-bit; angles are folded 32-bit integers times the scale.
        for (std::uint32_t k = 0; k < 4; ++k)
            FUZZ_CHECK(values[k] >= 0 && values[k] <= 65535 && values[k] == std::floor(values[k]));
        for (std::uint32_t k = 4; k < statusValueCount; ++k) {
            FUZZ_CHECK(std::isfinite(values[k]));
            FUZZ_CHECK(std::fabs(values[k]) <= 2147483648.0 * angleScale);
        }
        // The first counter is the two bytes that start the last 20.
        const std::uint8_t *frame = bytes + count - statusFieldsSize;
        FUZZ_CHECK(values[0] == frame[0] + 256.0 * frame[1]);
    }

    std::uint8_t tail[peekByteCount];
    for (auto &b : tail)
        b = 0xA5;
    copyLastBytes(bytes, count, tail);
    for (std::uint32_t i = 0; i < peekByteCount; ++i)
        FUZZ_CHECK(tail[i] == (count < peekByteCount ? 0xA5 : bytes[count - peekByteCount + i]));
    return 0;
}
