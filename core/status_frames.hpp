// Frames received from the controller. Only the tail of the newest chunk is
// decoded: the status frame is its last 20 bytes.
#pragma once

#include <cstdint>

constexpr std::uint32_t statusFrameMinimum = 23; // a frame is only decoded from 23 bytes on
constexpr std::uint32_t statusFieldsSize = 20;
constexpr std::uint32_t statusValueCount = 7;
constexpr std::uint32_t tailSize = 7;
constexpr double angleScale = 0.017444444;

// Angle fields are folded: raw values above 32767 stand for raw - 65535.
constexpr double unfoldAngle(std::int32_t raw)
{
    double v = static_cast<double>(raw);
    if (v > 32767.0)
        v += -65535.0;
    return v * angleScale;
}

// `values` (7 doubles) and `flag` must be zero on entry. A chunk shorter than
// 23 bytes sets the flag to 1 and leaves the values at zero.
void decodeStatusFrame(const std::uint8_t *chunk, std::uint32_t count, double *values, std::int8_t *flag);

// Copies the last seven bytes of the chunk; fewer than seven leave `out` as it was.
void takeTail(const std::uint8_t *chunk, std::uint32_t count, std::uint8_t *out);
