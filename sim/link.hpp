// The link between the controller and the client, as real ones deliver
// bytes: a UART that puts them on the line at its baud rate, and behind it
// nothing (a cable), a USB adapter that hands over what has arrived each
// time its latency timer fires, or a packet link (Bluetooth serial) that
// carries them in packets, late and with jitter. Without any of these the
// line is ideal: everything goes at once, as it always did.
//
// A link turns the bytes the controller writes at an instant into pieces of
// the line's output queue, each with the time it may go out. Its random
// draws (packet sizes, latency, jitter, the adapter's timer phase) come from
// one seeded generator, so a run is repeatable.
#pragma once

#include "protocol.hpp"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace linksim {

struct Piece {
    Instant due;
    std::vector<std::uint8_t> bytes;
};

// Whole numbers from low to high; high 0 when not given.
struct Range {
    long low = 0;
    long high = 0;
};

struct LinkSettings {
    std::string preset;      // cable, usb, bluetooth; empty for none
    long baud = 0;           // 0: no pacing (an ideal line)
    long latencyTimerMs = 0; // the USB adapter's; 0: no adapter
    Range packetBytes;       // the packet link's sizes; high 0: no packets
    Range latencyMs;         // the packet link's, drawn once a run
    Range jitterMs;          // added to each packet's latency, drawn per packet
    std::uint64_t seed = 0;
};

// The link models pace at this rate unless told another.
constexpr long defaultLinkBaud = 115200;

// Fills *settings with preset `name`'s values; false for no such preset.
bool linkPreset(const std::string &name, LinkSettings *settings);

// Whether the line is anything but ideal.
bool linkModelled(const LinkSettings &settings);

struct Link {
    LinkSettings settings;
    std::uint64_t random = 0;   // the generator's state
    Instant tickOrigin{};       // the adapter fires at tickOrigin + k * its timer
    std::int64_t latencyUs = 0; // the packet link's, as drawn
    Instant uartFree{};         // when the UART has sent all it was given
    Instant lastDue{};          // when the last packet goes out (they keep their order)
};

// A link as the settings say, from `now` on: the generator seeded, the
// adapter's phase and the packet link's latency drawn.
Link startLink(const LinkSettings &settings, Instant now);

// What the log says of the link: "link usb: 115200 baud, latency timer
// 16 ms, seed 7", the drawn latency among it.
std::string describeLink(const Link &link);

// Queues `count` bytes the controller writes at `now`, as the link delivers
// them: in pieces due when they reach the client, after those queued before.
void scheduleOutput(Link *link, const std::uint8_t *bytes, std::size_t count, Instant now, std::deque<Piece> *queue);

// The line closed: what the UART and the packets were still carrying is gone.
void clearLinkOutput(Link *link);

} // namespace linksim
