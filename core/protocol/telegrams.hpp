// Telegrams sent to the controller. Every telegram starts with its length
// after the two length bytes (little-endian), then the type byte 0x80
// (direct command, no reply wanted) and a command code.
#pragma once

#include <cstdint>

namespace mexlink {

constexpr std::uint8_t directCommandNoReply = 0x80;
constexpr std::uint8_t startProgramCode = 0x00;
constexpr std::uint8_t stopProgramCode = 0x01;
constexpr std::uint8_t mailboxWriteCode = 0x09;
constexpr std::uint32_t maxProgramNameLength = 15;
constexpr std::uint32_t stopProgramSize = 4;
constexpr std::uint32_t mailboxTelegramSize = 16;

template <std::uint32_t Capacity> struct Telegram {
    std::uint8_t bytes[Capacity] = {};
    std::uint32_t size = 0;
};

// Copies exactly `length` bytes of `name` (the caller's column count, not a
// measured string length) and appends a NUL. Lengths above 15 are cut to 15.
inline Telegram<maxProgramNameLength + 5> buildStartProgram(const char *name, std::uint32_t length)
{
    const std::uint32_t n = length > maxProgramNameLength ? maxProgramNameLength : length;
    Telegram<maxProgramNameLength + 5> t;
    t.bytes[0] = static_cast<std::uint8_t>(n + 3);
    t.bytes[1] = 0x00;
    t.bytes[2] = directCommandNoReply;
    t.bytes[3] = startProgramCode;
    for (std::uint32_t i = 0; i < n; ++i)
        t.bytes[4 + i] = static_cast<std::uint8_t>(name[i]);
    t.bytes[4 + n] = 0x00;
    t.size = n + 5;
    return t;
}

inline Telegram<stopProgramSize> buildStopProgram()
{
    Telegram<stopProgramSize> t;
    t.bytes[0] = 0x02;
    t.bytes[1] = 0x00;
    t.bytes[2] = directCommandNoReply;
    t.bytes[3] = stopProgramCode;
    t.size = stopProgramSize;
    return t;
}

// Three-digit zero-padded decimal ("%03d") fields into mailbox 1. Values are
// meant to be 0..999; anything outside is held at the nearer end so a field
// never takes more or fewer than three digits.
inline Telegram<mailboxTelegramSize> buildMailboxMessage(int value1, int value2, int value3)
{
    Telegram<mailboxTelegramSize> t;
    t.bytes[0] = 0x0E;
    t.bytes[2] = directCommandNoReply;
    t.bytes[3] = mailboxWriteCode;
    t.bytes[4] = 0x01; // mailbox
    t.bytes[5] = 0x0A; // message size with its terminator
    const int values[3] = {value1, value2, value3};
    for (int field = 0; field < 3; ++field) {
        int v = values[field] < 0 ? 0 : (values[field] > 999 ? 999 : values[field]);
        for (int digit = 2; digit >= 0; --digit) {
            t.bytes[6 + 3 * field + digit] = static_cast<std::uint8_t>('0' + v % 10);
            v /= 10;
        }
    }
    t.size = mailboxTelegramSize;
    return t;
}

} // namespace mexlink
