// What a probe of a link saw of the controller's frames, and the read
// time-outs T that cannot cut a frame on it. Pure: the probe (linkProbe)
// time-stamps what arrives, this judges it.
//
// The read rule ends a read when more than T ms pass between two bytes. A
// status read returns a whole frame when every gap inside a frame is shorter
// than T and the read ends at a quiet between frames: one shorter than T
// only lets the read run on to the next frame, so T must stay below most
// quiets for reads to end soon (and at all: linkState gives up after about
// 2 s). Bursts that arrive closer than a millisecond can never end a read,
// so the probe joins them.
#pragma once

#include <cstdint>

#include "protocol/instants.hpp"

namespace mexlink {

// Arrivals closer than this are one burst: T is 1 ms or more.
constexpr std::int64_t burstJoinNs = nanosPerMilli / 2;

struct Burst {
    std::int64_t startNs;
    std::int64_t endNs;
    std::uint32_t bytes;
};

// Adds `bytes` that arrived at `atNs` (after any earlier arrival): to the
// last burst when it is within burstJoinNs of it, else as a new one. 0 when
// a new burst finds no room (`capacity` bursts held already).
int addArrival(Burst *bursts, std::uint32_t capacity, std::uint32_t *count, std::int64_t atNs, std::uint32_t bytes);

struct LinkTiming {
    // Frames seen whole, between the first and the last (which the probe's
    // start and end may have cut), and their size in bytes (0: none seen).
    std::uint32_t frames;
    std::uint32_t frameBytes;
    // Of those, how many came cut, or joined to the next by a quiet no
    // longer than a gap inside a frame (no T parts them).
    std::uint32_t misshapen;
    // Start to start, on average.
    double periodMs;
    // The longest gap inside a frame (0: every frame came at once) and the
    // shortest between two (0: a burst ended one and began the next).
    double longestGapInFrameMs;
    double shortestQuietMs;
    // T from safeLowMs to safeHighMs cannot cut a frame, and ends a read at
    // the quiet after at least every other frame; none when low > high (then
    // recommendedMs is 0).
    std::int32_t safeLowMs;
    std::int32_t safeHighMs;
    std::int32_t recommendedMs;
};

// Frames are told apart by the smallest gap length above which every gap
// splits the bursts into groups of whole frames: sizes that are all
// multiples of one, which groups of one frame have. Where none does, frames
// arrive cut on this link and no T is safe; the size most groups have is
// then taken for the frame's.
void judgeLink(const Burst *bursts, std::uint32_t count, LinkTiming *timing);

} // namespace mexlink
