// Frames received from the controller. Only the newest bytes of a read are
// decoded: the status frame is their last 20 bytes.
#pragma once

#include <cstdint>

namespace mexlink {

constexpr std::uint32_t statusFrameMinimum = 23; // a frame is only decoded from 23 bytes on
constexpr std::uint32_t statusFieldsSize = 20;
constexpr std::uint32_t statusValueCount = 7;
constexpr std::uint32_t peekByteCount = 7; // linkPeek hands back the last seven bytes of a read
constexpr double angleScale = 0.017444444;

// Angle fields are folded: raw values above 32767 stand for raw - 65535.
constexpr double unfoldAngle(std::int32_t raw)
{
    return (raw > 32767 ? static_cast<double>(raw) + -65535.0 : static_cast<double>(raw)) * angleScale;
}

// `values` (7 doubles) and `flag` must be zero on entry. Fewer than 23 bytes
// set the flag to 1 and leave the values at zero.
void decodeStatusFrame(const std::uint8_t *bytes, std::uint32_t count, double *values, std::int8_t *flag);

// Copies the last peekByteCount bytes; fewer leave `out` as it was.
void copyLastBytes(const std::uint8_t *bytes, std::uint32_t count, std::uint8_t *out);

} // namespace mexlink
