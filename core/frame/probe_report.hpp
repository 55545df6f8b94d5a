// What linkProbe hands back and prints of a link's timing
// (protocol/link_timing.hpp).
#pragma once

#include "mex.h"
#include "protocol/link_timing.hpp"

namespace mexlink {

// linkProbe listens for at least a moment and at most ten minutes.
constexpr double probeSecondsMax = 600;
// Room for the arrivals of ten minutes of frames in a few pieces each; a
// probe that fills it judges what it holds.
constexpr std::uint32_t probeBurstCapacity = 65536;

// The 1x1 struct linkProbe returns, after the summary it prints.
mxArray *reportLink(const LinkTiming &timing, double seconds);

} // namespace mexlink
