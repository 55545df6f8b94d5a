// Wire format of the controller link as seen from the controller side:
// telegrams reassembled from whatever pieces arrive, status frames encoded,
// and the hex of the log and the control commands.
//
// The telegrams' type, codes, sizes and longest name are the commands' own
// (core/protocol/telegrams.hpp): the byte-exact unit tests pin them to the
// documented bytes, so sharing them loses no check. The frame encoding is the
// simulator's, a peer of the commands' decoder.
#pragma once

#include "protocol/telegrams.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace linksim {

using Clock = std::chrono::steady_clock;
using Instant = Clock::time_point;

// An instant that never comes: nothing to wait for.
constexpr Instant never = Instant::max();

constexpr std::uint8_t mailboxNumber = 1;
constexpr std::size_t mailboxTextLength = 9;                                                  // three "%03d" fields
constexpr std::uint8_t mailboxMessageSize = static_cast<std::uint8_t>(mailboxTextLength + 1); // with its NUL
constexpr std::size_t frameLength = 23;
constexpr std::uint8_t frameType = 0xA5;
constexpr int maxAngle = 32767;

// ------------------------------------------------------------- telegrams

enum class Scan { needMore, skip, complete };

// Classifies the front of the receive buffer: a complete valid telegram
// (length in *length), a prefix that may still become one, or a byte to skip.
Scan scanTelegram(const std::uint8_t *buffer, std::size_t count, std::size_t *length);

// What a telegram that scanTelegram accepted asks for.
struct Request {
    enum Kind { start, stop, mailbox } kind = stop;
    std::string text;   // the program's name, or the mailbox's nine digits
    int values[3] = {}; // the mailbox's three numbers
};

Request readRequest(const std::uint8_t *telegram, std::size_t length);

// A client writes a telegram in one go; a fragment that sits this long is
// stale and is resynchronised past instead of swallowing the next telegram.
constexpr std::chrono::milliseconds staleFragment{250};

// Telegrams reassembled from the bytes as they arrive.
struct Receiver {
    std::vector<std::uint8_t> bytes; // not yet a whole telegram (from `used` on)
    std::size_t used = 0;
    std::vector<std::uint8_t> junk; // skipped, not yet reported
    Instant receivedAt{};           // when bytes last arrived
};

void receive(Receiver *receiver, const std::uint8_t *bytes, std::size_t count, Instant now);
void clearReceiver(Receiver *receiver);
// When the unfinished fragment goes stale; never without one.
Instant staleAt(const Receiver &receiver);

enum class Taken { nothing, telegram, junk };

// Takes the next complete telegram, or a run of bytes that cannot start one,
// into *piece. Skipped bytes are reported together: before the next
// telegram, once nothing is left, or in runs of at most 256. `stale` skips
// an unfinished fragment too.
Taken takeNext(Receiver *receiver, bool stale, std::vector<std::uint8_t> *piece);

// -------------------------------------------------------- status frames

struct FrameData {
    std::uint16_t values[4]; // sequence number, light, distance, battery
    std::int32_t angles[3];  // integer degrees, already clamped
};

// Angles travel as 32-bit fields holding a 16-bit folded value: a >= 0 is
// sent as a, a < 0 as a + 65535. The reader undoes it with raw > 32767 ->
// raw - 65535, so -1 -> 65534 and -32767 -> 32768. 65535 would read back as
// 0 and is therefore never produced (the clamp to +-32767 guarantees that).
std::uint32_t foldAngle(std::int32_t degrees);
std::int32_t clampAngle(long degrees);

void encodeFrame(const FrameData &frame, std::uint8_t out[frameLength]);

// ------------------------------------------------------------------- hex

std::string hexBytes(const std::uint8_t *bytes, std::size_t count);
std::string escapeName(const std::string &name);

// "01 02 ff" or "0102ff" -> bytes; returns 0 on malformed or empty input.
int parseHex(const std::string &text, std::vector<std::uint8_t> *out);

} // namespace linksim
