#include "protocol/status_frames.hpp"

namespace mexlink {

namespace {

std::uint32_t readU16(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
}

std::int32_t readI32(const std::uint8_t *p)
{
    const std::uint32_t u = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
                            | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return static_cast<std::int32_t>(u);
}

} // namespace

void decodeStatusFrame(const std::uint8_t *bytes, std::uint32_t count, double *values, std::int8_t *flag)
{
    if (count < statusFrameMinimum) {
        *flag = 1;
        return;
    }
    const std::uint8_t *frame = bytes + (count - statusFieldsSize);
    for (int k = 0; k < 4; ++k)
        values[k] = static_cast<double>(readU16(frame + 2 * k));
    for (int k = 0; k < 3; ++k)
        values[4 + k] = unfoldAngle(readI32(frame + 8 + 4 * k));
}

void copyLastBytes(const std::uint8_t *bytes, std::uint32_t count, std::uint8_t *out)
{
    if (count < peekByteCount)
        return;
    for (std::uint32_t i = 0; i < peekByteCount; ++i)
        out[i] = bytes[count - peekByteCount + i];
}

} // namespace mexlink
