// Wire format of the controller link as seen from the controller side.
//
// The commands have their own copy of these values in core/. This one is
// kept apart on purpose: the simulator is an independent peer of the
// commands, so a mistake in either copy shows up as a disagreement on the
// line instead of cancelling out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace linksim {

constexpr std::uint8_t telegramType = 0x80; // direct command, no reply wanted
constexpr std::uint8_t startCode = 0x00;
constexpr std::uint8_t stopCode = 0x01;
constexpr std::uint8_t mailboxCode = 0x09;
constexpr std::size_t maxNameLength = 15;
constexpr std::size_t stopLength = 4;
constexpr std::size_t mailboxLength = 16;
constexpr std::uint8_t mailboxNumber = 1;
constexpr std::size_t mailboxTextLength = 9;                                                  // three "%03d" fields
constexpr std::uint8_t mailboxMessageSize = static_cast<std::uint8_t>(mailboxTextLength + 1); // with its NUL
constexpr std::size_t frameLength = 23;
constexpr std::uint8_t frameType = 0xA5;
constexpr int maxAngle = 32767;

enum class Scan { needMore, skip, complete };

// Classifies the front of the receive buffer: a complete valid telegram
// (length in *length), a prefix that may still become one, or a byte to skip.
Scan scanTelegram(const std::uint8_t *buffer, std::size_t count, std::size_t *length);

// Extractors for telegrams that scanTelegram accepted; return 1 on match.
int parseStart(const std::uint8_t *telegram, std::size_t length, std::string *name);
int parseStop(const std::uint8_t *telegram, std::size_t length);
int parseMailbox(const std::uint8_t *telegram, std::size_t length, std::string *text, int values[3]);

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

std::string hexBytes(const std::uint8_t *bytes, std::size_t count);
std::string escapeName(const std::string &name);

// "01 02 ff" or "0102ff" -> bytes; returns 0 on malformed or empty input.
int parseHex(const std::string &text, std::vector<std::uint8_t> *out);

} // namespace linksim
