#include "link.hpp"

#include <algorithm>

namespace linksim {

namespace {

using std::chrono::microseconds;
using std::chrono::nanoseconds;

// Bytes closer than this no read time-out (1 ms or more) can part: on a
// cable they go out together once the last of them has. Written one by
// one, each would wait on a wake-up of this process, and one late by a few
// milliseconds (as on a busy machine) would part a frame the line never
// would.
constexpr nanoseconds readableGap = std::chrono::milliseconds(1);

// splitmix64: small, and the same sequence on every platform and compiler.
std::uint64_t nextRandom(std::uint64_t *state)
{
    std::uint64_t z = (*state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

// Uniform from low to high, both included.
std::int64_t drawBetween(std::uint64_t *state, std::int64_t low, std::int64_t high)
{
    return low + static_cast<std::int64_t>(nextRandom(state) % static_cast<std::uint64_t>(high - low + 1));
}

std::int64_t drawMicros(std::uint64_t *state, const Range &ms)
{
    return drawBetween(state, ms.low * 1000, ms.high * 1000);
}

// When byte `index` (from 0) of a run of bytes the UART starts at `start`
// has been sent: 10 bits each (start, 8 data, stop).
Instant byteSent(const Link &link, Instant start, std::size_t index)
{
    return start + nanoseconds(static_cast<std::int64_t>(index + 1) * 10'000'000'000 / link.settings.baud);
}

// The adapter's first firing at or after `at`.
Instant nextTick(const Link &link, Instant at)
{
    const nanoseconds period = std::chrono::milliseconds(link.settings.latencyTimerMs);
    const auto ticks = (at - link.tickOrigin + period - nanoseconds(1)) / period;
    return link.tickOrigin + ticks * period;
}

void addPiece(std::deque<Piece> *queue, Instant due, const std::uint8_t *bytes, std::size_t count)
{
    queue->push_back(Piece{due, std::vector<std::uint8_t>(bytes, bytes + count)});
}

std::string rangeText(const Range &range)
{
    return range.low == range.high ? std::to_string(range.low)
                                   : std::to_string(range.low) + " to " + std::to_string(range.high);
}

} // namespace

bool linkPreset(const std::string &name, LinkSettings *settings)
{
    // Each at 115200 baud, the rate every example attaches with.
    if (name == "cable") {
        settings->baud = defaultLinkBaud;
    } else if (name == "usb") {
        // An FTDI-type adapter at its factory latency timer.
        settings->baud = defaultLinkBaud;
        settings->latencyTimerMs = 16;
    } else if (name == "bluetooth") {
        // A serial-port-profile link: one-slot baseband packets carry 8 to 18
        // bytes once L2CAP and RFCOMM take their headers, three-slot ones
        // more, so a frame travels in one to three packets. The latency is
        // the link's own (module, stack, power mode), the jitter a packet's
        // wait for the master's next poll (25 ms by default) and a resend.
        settings->baud = defaultLinkBaud;
        settings->packetBytes = Range{8, 32};
        settings->latencyMs = Range{20, 150};
        settings->jitterMs = Range{0, 30};
    } else {
        return false;
    }
    settings->preset = name;
    return true;
}

bool linkModelled(const LinkSettings &settings) { return settings.baud > 0; }

Link startLink(const LinkSettings &settings, Instant now)
{
    Link link;
    link.settings = settings;
    link.random = settings.seed;
    if (settings.latencyTimerMs > 0)
        link.tickOrigin = now - microseconds(drawBetween(&link.random, 0, settings.latencyTimerMs * 1000 - 1));
    if (settings.packetBytes.high > 0)
        link.latencyUs = drawMicros(&link.random, settings.latencyMs);
    return link;
}

std::string describeLink(const Link &link)
{
    const LinkSettings &s = link.settings;
    std::string text =
        "link" + (s.preset.empty() ? std::string() : " " + s.preset) + ": " + std::to_string(s.baud) + " baud";
    if (s.latencyTimerMs > 0)
        text += ", latency timer " + std::to_string(s.latencyTimerMs) + " ms";
    if (s.packetBytes.high > 0) {
        text += ", packets of " + rangeText(s.packetBytes) + " bytes, latency " + std::to_string(link.latencyUs / 1000)
                + "." + std::to_string(link.latencyUs / 100 % 10) + " ms (" + rangeText(s.latencyMs) + "), jitter "
                + rangeText(s.jitterMs) + " ms";
    }
    return text + ", seed " + std::to_string(s.seed);
}

void scheduleOutput(Link *link, const std::uint8_t *bytes, std::size_t count, Instant now, std::deque<Piece> *queue)
{
    const LinkSettings &s = link->settings;
    if (count == 0)
        return;
    if (!linkModelled(s)) {
        addPiece(queue, now, bytes, count);
        return;
    }
    const Instant start = std::max(now, link->uartFree);
    link->uartFree = byteSent(*link, start, count - 1);
    if (s.packetBytes.high > 0) {
        // A packet goes when it holds its size, or when the controller's
        // bytes pause: at the end of what it wrote now.
        for (std::size_t first = 0; first < count;) {
            const auto size =
                static_cast<std::size_t>(drawBetween(&link->random, s.packetBytes.low, s.packetBytes.high));
            const std::size_t end = std::min(count, first + size);
            const Instant closed = byteSent(*link, start, end - 1);
            const Instant due = closed + microseconds(link->latencyUs + drawMicros(&link->random, s.jitterMs));
            link->lastDue = std::max(link->lastDue, due);
            addPiece(queue, link->lastDue, bytes + first, end - first);
            first = end;
        }
        return;
    }
    if (s.latencyTimerMs == 0 && byteSent(*link, start, 0) - start < readableGap) {
        addPiece(queue, link->uartFree, bytes, count);
        return;
    }
    // Byte by byte off the UART; the adapter gathers those that reach it
    // between two firings of its timer.
    for (std::size_t first = 0; first < count;) {
        Instant due = byteSent(*link, start, first);
        std::size_t end = first + 1;
        if (s.latencyTimerMs > 0) {
            due = nextTick(*link, due);
            while (end < count && byteSent(*link, start, end) <= due)
                ++end;
        }
        addPiece(queue, due, bytes + first, end - first);
        first = end;
    }
}

void clearLinkOutput(Link *link)
{
    link->uartFree = Instant{};
    link->lastDue = Instant{};
}

} // namespace linksim
