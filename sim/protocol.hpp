// Wire format of the controller link as seen from the controller side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace linksim {

constexpr uint8_t kTelegramType = 0x80;
constexpr uint8_t kCmdStart = 0x00;
constexpr uint8_t kCmdStop = 0x01;
constexpr uint8_t kCmdMailbox = 0x09;
constexpr size_t kMaxName = 15;
constexpr size_t kMailboxLen = 16;
constexpr size_t kMailboxText = 9;  // three "%03d" fields
constexpr size_t kFrameLen = 23;
constexpr int kMaxAngle = 32767;

enum class Scan { NeedMore, Skip, Complete };

// Classifies the front of the receive buffer: a complete valid telegram
// (length in *len), a prefix that may still become one, or a byte to skip.
Scan scan_telegram(const uint8_t* buf, size_t n, size_t* len);

// Extractors for telegrams that scan_telegram accepted; return 1 on match.
int parse_start(const uint8_t* t, size_t len, std::string* name);
int parse_stop(const uint8_t* t, size_t len);
int parse_mailbox(const uint8_t* t, size_t len, std::string* text, int values[3]);

struct FrameData {
    uint16_t v[4];      // v[0] is the sequence number
    int32_t angle[3];   // integer degrees, already clamped
};

// Angles travel as 32-bit fields holding a 16-bit folded value: a >= 0 is
// sent as a, a < 0 as a + 65535. The reader undoes it with raw > 32767 ->
// raw - 65535, so -1 -> 65534 and -32767 -> 32768. 65535 would read back as
// 0 and is therefore never produced (the clamp to +-32767 guarantees that).
uint32_t fold_angle(int32_t deg);
int32_t clamp_angle(long deg);

void encode_frame(const FrameData& f, uint8_t out[kFrameLen]);

std::string hex_bytes(const uint8_t* p, size_t n);
std::string escape_name(const std::string& name);

// "01 02 ff" or "0102ff" -> bytes; returns 0 on malformed or empty input.
int parse_hex(const std::string& text, std::vector<uint8_t>* out);

}  // namespace linksim
