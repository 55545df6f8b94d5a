#include "protocol/link_timing.hpp"

namespace mexlink {

namespace {

std::int64_t gapAfter(const Burst *bursts, std::uint32_t i) { return bursts[i + 1].startNs - bursts[i].endNs; }

std::uint32_t commonDivisor(std::uint32_t a, std::uint32_t b)
{
    while (b != 0) {
        const std::uint32_t rest = a % b;
        a = b;
        b = rest;
    }
    return a;
}

// Calls visit(first, last, bytes) for each whole group of the bursts split
// at every gap longer than `splitNs` (-1: at every gap): those after the
// first split and before the last, which the probe's start and end cannot
// have cut.
template <typename Visit>
void forWholeGroups(const Burst *bursts, std::uint32_t count, std::int64_t splitNs, Visit visit)
{
    bool started = false;
    std::uint32_t first = 0;
    std::uint32_t bytes = 0;
    for (std::uint32_t i = 0; i + 1 < count; ++i) {
        bytes += bursts[i].bytes;
        if (gapAfter(bursts, i) <= splitNs)
            continue;
        if (started)
            visit(first, i, bytes);
        started = true;
        first = i + 1;
        bytes = 0;
    }
}

// The frame size the split tells apart: the size every whole group is a
// multiple of, seen alone at least twice (a group of several is frames that
// came closer than the split). 0 where the split cuts frames.
std::uint32_t frameSizeAt(const Burst *bursts, std::uint32_t count, std::int64_t splitNs)
{
    std::uint32_t divisor = 0;
    forWholeGroups(bursts, count, splitNs,
                   [&](std::uint32_t, std::uint32_t, std::uint32_t bytes) { divisor = commonDivisor(bytes, divisor); });
    std::uint32_t alone = 0;
    forWholeGroups(bursts, count, splitNs,
                   [&](std::uint32_t, std::uint32_t, std::uint32_t bytes) { alone += bytes == divisor; });
    // A frame of one byte is every byte: no frame at all.
    return divisor >= 2 && alone >= 2 ? divisor : 0;
}

// The gaps once frames of `frameBytes` are told apart: inside frames, and
// the quiets between them (0 where one burst ends a frame and starts the
// next), counted from the first split to the last.
struct FrameGaps {
    std::uint32_t frames;
    std::int64_t firstStartNs;
    std::int64_t lastStartNs;
    std::int64_t longestInFrameNs;
    std::int64_t shortestQuietNs;
    std::int64_t longestQuietNs;
    std::uint32_t quiets;
    std::uint32_t quietsOver; // longer than `overNs`
};

FrameGaps frameGaps(const Burst *bursts, std::uint32_t count, std::int64_t splitNs, std::uint32_t frameBytes,
                    std::int64_t overNs)
{
    FrameGaps gaps{0, 0, 0, 0, -1, 0, 0, 0};
    const auto quiet = [&](std::int64_t ns) {
        ++gaps.quiets;
        gaps.quietsOver += ns > overNs;
        if (gaps.shortestQuietNs < 0 || ns < gaps.shortestQuietNs)
            gaps.shortestQuietNs = ns;
        if (ns > gaps.longestQuietNs)
            gaps.longestQuietNs = ns;
    };
    forWholeGroups(bursts, count, splitNs, [&](std::uint32_t first, std::uint32_t last, std::uint32_t) {
        if (gaps.frames == 0)
            quiet(gapAfter(bursts, first - 1));
        std::uint32_t held = 0;
        for (std::uint32_t i = first; i <= last; ++i) {
            for (std::uint32_t left = bursts[i].bytes; left > 0;) {
                if (held == 0 && gaps.frames++ == 0)
                    gaps.firstStartNs = bursts[i].startNs;
                if (held == 0)
                    gaps.lastStartNs = bursts[i].startNs;
                const std::uint32_t taken = left < frameBytes - held ? left : frameBytes - held;
                held = (held + taken) % frameBytes;
                left -= taken;
                if (held == 0 && left > 0)
                    quiet(0);
            }
            const std::int64_t gap = gapAfter(bursts, i);
            if (held == 0)
                quiet(gap);
            else if (gap > gaps.longestInFrameNs)
                gaps.longestInFrameNs = gap;
        }
    });
    return gaps;
}

// Where no split tells frames apart: the gap length after which the next
// longer one is the most times longer, the likeliest edge between the gaps
// inside frames and those between them.
std::int64_t widestStep(const Burst *bursts, std::uint32_t count)
{
    std::int64_t best = -1;
    double bestRatio = 0.0;
    for (std::uint32_t i = 0; i + 1 < count; ++i) {
        const std::int64_t gap = gapAfter(bursts, i);
        std::int64_t next = -1;
        for (std::uint32_t j = 0; j + 1 < count; ++j) {
            const std::int64_t other = gapAfter(bursts, j);
            if (other > gap && (next < 0 || other < next))
                next = other;
        }
        const double ratio =
            next < 0 ? 0.0 : static_cast<double>(next) / static_cast<double>(gap > burstJoinNs ? gap : burstJoinNs);
        if (ratio > bestRatio) {
            bestRatio = ratio;
            best = gap;
        }
    }
    return best;
}

// How frames arrive where no T keeps them apart, for the report: split at
// the widest step, the size most groups have is the frame's, the others
// came cut or joined.
void judgeMisshapen(const Burst *bursts, std::uint32_t count, LinkTiming *timing)
{
    const std::int64_t split = widestStep(bursts, count);
    std::uint32_t often = 0;
    forWholeGroups(bursts, count, split, [&](std::uint32_t, std::uint32_t, std::uint32_t size) {
        std::uint32_t matching = 0;
        forWholeGroups(bursts, count, split,
                       [&](std::uint32_t, std::uint32_t, std::uint32_t other) { matching += other == size; });
        if (matching > often) {
            often = matching;
            timing->frameBytes = size;
        }
    });
    std::int64_t firstStart = 0;
    std::int64_t lastStart = 0;
    forWholeGroups(bursts, count, split, [&](std::uint32_t first, std::uint32_t, std::uint32_t) {
        if (timing->frames++ == 0)
            firstStart = bursts[first].startNs;
        lastStart = bursts[first].startNs;
    });
    timing->misshapen = timing->frames - often;
    if (timing->frames >= 2)
        timing->periodMs = static_cast<double>(lastStart - firstStart) / nanosPerMilli / (timing->frames - 1);
    std::int64_t longest = 0;
    std::int64_t shortest = -1;
    for (std::uint32_t i = 0; i + 1 < count; ++i) {
        const std::int64_t gap = gapAfter(bursts, i);
        if (gap <= split && gap > longest)
            longest = gap;
        if (gap > split && (shortest < 0 || gap < shortest))
            shortest = gap;
    }
    timing->longestGapInFrameMs = static_cast<double>(longest) / nanosPerMilli;
    timing->shortestQuietMs = shortest < 0 ? 0.0 : static_cast<double>(shortest) / nanosPerMilli;
}

// Past the longest gap inside a frame by a quarter, 2 ms at least: a few
// seconds of probing may not see a link's worst gap, and a T below it gives
// wrong values that look valid. Short of the typical quiet by a tenth, 1 ms
// at least: a T above a quiet only lets the read run on to the next one.
std::int32_t marginAbove(std::int32_t ms) { return ms / 4 > 2 ? ms / 4 : 2; }
std::int32_t marginBelow(std::int32_t ms) { return ms / 10 > 1 ? ms / 10 : 1; }

} // namespace

int addArrival(Burst *bursts, std::uint32_t capacity, std::uint32_t *count, std::int64_t atNs, std::uint32_t bytes)
{
    if (*count > 0 && atNs - bursts[*count - 1].endNs < burstJoinNs) {
        bursts[*count - 1].endNs = atNs;
        bursts[*count - 1].bytes += bytes;
        return 1;
    }
    if (*count == capacity)
        return 0;
    bursts[(*count)++] = Burst{atNs, atNs, bytes};
    return 1;
}

void judgeLink(const Burst *bursts, std::uint32_t count, LinkTiming *timing)
{
    *timing = LinkTiming{0, 0, 0, 0.0, 0.0, 0.0, 1, 0, 0};
    // The smallest split that tells frames apart: no gap inside a frame is
    // longer, so a T above it cannot cut one.
    std::int64_t split = -1;
    std::uint32_t size = frameSizeAt(bursts, count, split);
    while (size == 0) {
        std::int64_t next = -1;
        for (std::uint32_t i = 0; i + 1 < count; ++i) {
            const std::int64_t gap = gapAfter(bursts, i);
            if (gap > split && (next < 0 || gap < next))
                next = gap;
        }
        if (next < 0) {
            judgeMisshapen(bursts, count, timing);
            return;
        }
        split = next;
        size = frameSizeAt(bursts, count, split);
    }
    FrameGaps gaps = frameGaps(bursts, count, split, size, -1);
    timing->frameBytes = size;
    timing->frames = gaps.frames;
    if (gaps.frames >= 2)
        timing->periodMs =
            static_cast<double>(gaps.lastStartNs - gaps.firstStartNs) / nanosPerMilli / (gaps.frames - 1);
    timing->longestGapInFrameMs = static_cast<double>(gaps.longestInFrameNs) / nanosPerMilli;
    timing->shortestQuietMs = static_cast<double>(gaps.shortestQuietNs) / nanosPerMilli;
    timing->misshapen = gaps.quiets - frameGaps(bursts, count, split, size, gaps.longestInFrameNs).quietsOver;
    // The typical quiet: the longest whole milliseconds that at least half
    // the quiets reach, so a read ends at least every other frame.
    std::int32_t typical = 0;
    for (std::int32_t step = 1 << 24; step > 0; step /= 2) {
        const std::int64_t tryNs = static_cast<std::int64_t>(typical + step) * nanosPerMilli;
        if (tryNs <= gaps.longestQuietNs
            && 2 * frameGaps(bursts, count, split, size, tryNs - 1).quietsOver >= gaps.quiets)
            typical += step;
    }
    // T must outlast every gap inside a frame, and end before the typical
    // quiet between frames does, each with its margin. The recommendation
    // sits in the middle: a T too short gives wrong values that look valid,
    // one too long only lets a read run on to a later quiet, and a busy
    // computer now and then takes bytes in 10 ms or more late.
    const std::int32_t inFrame = static_cast<std::int32_t>((gaps.longestInFrameNs + nanosPerMilli - 1) / nanosPerMilli);
    const std::int32_t low = inFrame + marginAbove(inFrame);
    timing->safeLowMs = low > 2 ? low : 2;
    timing->safeHighMs = typical - marginBelow(typical);
    if (timing->safeLowMs <= timing->safeHighMs)
        timing->recommendedMs = timing->safeLowMs + (timing->safeHighMs - timing->safeLowMs) / 2;
}

} // namespace mexlink
