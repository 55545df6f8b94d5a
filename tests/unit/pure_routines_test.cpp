// Byte layouts of the telegrams and status frames, number conversion and the
// read time-out rule and the text of the record of attached ports: pure
// code, no I/O.
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "argument_checks.hpp"
#include "port_record.hpp"
#include "read_rule.hpp"
#include "status_frames.hpp"
#include "telegrams.hpp"

using namespace mexlink;

namespace {

std::vector<std::uint8_t> startBytes(const char *name, std::uint32_t n)
{
    const auto t = buildStartProgram(name, n);
    return {t.bytes, t.bytes + t.size};
}

std::vector<std::uint8_t> mailbox(int a, int b, int c)
{
    const auto t = buildMailboxMessage(a, b, c);
    return {t.bytes, t.bytes + t.size};
}

} // namespace

TEST(ToInt, TruncatesTowardZeroAndMapsTheUnrepresentableToMin)
{
    EXPECT_EQ(toInt(2.9), 2);
    EXPECT_EQ(toInt(-2.9), -2);
    EXPECT_EQ(toInt(255.999), 255);
    EXPECT_EQ(toInt(-0.5), 0);
    EXPECT_EQ(toInt(2147483647.9), 2147483647);
    EXPECT_EQ(toInt(-2147483648.9), INT32_MIN);
    EXPECT_EQ(toInt(2147483648.0), INT32_MIN);
    EXPECT_EQ(toInt(-2147483649.0), INT32_MIN);
    EXPECT_EQ(toInt(std::nan("")), INT32_MIN);
    EXPECT_EQ(toInt(std::numeric_limits<double>::infinity()), INT32_MIN);
    EXPECT_EQ(toInt(-std::numeric_limits<double>::infinity()), INT32_MIN);
}

TEST(LimitedSetpoint, ScalesLimitsThenTruncates)
{
    EXPECT_EQ(limitedSetpoint(0.0), 0);
    EXPECT_EQ(limitedSetpoint(1.0), 5);
    EXPECT_EQ(limitedSetpoint(-1.0), -5);
    EXPECT_EQ(limitedSetpoint(100.0), 100);
    EXPECT_EQ(limitedSetpoint(16.96), 100);
    EXPECT_EQ(limitedSetpoint(-16.96), -100);
    EXPECT_EQ(limitedSetpoint(17.0), 100);
    EXPECT_EQ(limitedSetpoint(1e300), 100);
    EXPECT_EQ(limitedSetpoint(std::numeric_limits<double>::infinity()), 100);
    EXPECT_EQ(limitedSetpoint(-std::numeric_limits<double>::infinity()), -100);
    EXPECT_EQ(limitedSetpoint(std::nan("")), -100);
}

TEST(StartProgram, LengthPrefixNameAndTerminator)
{
    EXPECT_EQ(startBytes("abc", 3), (std::vector<std::uint8_t>{0x06, 0x00, 0x80, 0x00, 'a', 'b', 'c', 0x00}));
    EXPECT_EQ(startBytes("", 0), (std::vector<std::uint8_t>{0x03, 0x00, 0x80, 0x00, 0x00}));
    const auto one = startBytes("x", 1);
    ASSERT_EQ(one.size(), 6u);
    EXPECT_EQ(one[0], 4);
    // The count, not the string, decides how many bytes go out.
    EXPECT_EQ(startBytes("abcdef", 2), (std::vector<std::uint8_t>{0x05, 0x00, 0x80, 0x00, 'a', 'b', 0x00}));
    const auto fifteen = startBytes("abcdefghijklmno", 15);
    ASSERT_EQ(fifteen.size(), 20u);
    EXPECT_EQ(fifteen[0], 18);
    EXPECT_EQ(fifteen[18], 'o');
    EXPECT_EQ(fifteen[19], 0x00);
    // Never more than 15 name bytes, whatever the count says.
    EXPECT_EQ(startBytes("abcdefghijklmnopq", 17).size(), 20u);
    EXPECT_EQ(buildStartProgram("abc", 3).size, 8u);
}

TEST(StopProgram, FourFixedBytes)
{
    const auto t = buildStopProgram();
    EXPECT_EQ(std::vector<std::uint8_t>(t.bytes, t.bytes + t.size),
              (std::vector<std::uint8_t>{0x02, 0x00, 0x80, 0x01}));
}

TEST(Mailbox, ThreeZeroPaddedDecimalFields)
{
    const std::vector<std::uint8_t> header{0x0E, 0x00, 0x80, 0x09, 0x01, 0x0A};
    auto expect = [&](int a, int b, int c, const char *digits) {
        std::vector<std::uint8_t> want = header;
        for (const char *p = digits; *p; ++p)
            want.push_back(static_cast<std::uint8_t>(*p));
        want.push_back(0x00);
        EXPECT_EQ(mailbox(a, b, c), want) << digits;
    };
    expect(100, 7, 200, "100007200");
    expect(0, 0, 0, "000000000");
    expect(255, 1, 99, "255001099");
    expect(105, 95, 200, "105095200");
    expect(999, 10, 0, "999010000");
    // Out-of-range values stay three digits instead of spilling into the next field.
    expect(-5, 1000, 12345, "000999999");
}

TEST(StatusFrame, ShortChunksSetTheFlagOnly)
{
    std::uint8_t chunk[50];
    for (int i = 0; i < 50; ++i)
        chunk[i] = static_cast<std::uint8_t>(0xA0 + i);
    for (std::uint32_t count : {0u, 1u, 20u, 22u}) {
        double values[7] = {};
        std::int8_t flag = 0;
        decodeStatusFrame(chunk, count, values, &flag);
        EXPECT_EQ(flag, 1) << count;
        for (double v : values)
            EXPECT_EQ(v, 0.0) << count;
    }
}

TEST(StatusFrame, DecodesTheLastTwentyBytes)
{
    // 30-byte chunk: the frame is bytes 10..29.
    std::uint8_t chunk[30] = {};
    for (int i = 0; i < 10; ++i)
        chunk[i] = 0xEE;
    const std::uint8_t frame[20] = {0x01, 0x00, 0xFF, 0xFF, 0x34, 0x12, 0x00, 0x80, // u16 x4
                                    0xFF, 0x7F, 0x00, 0x00,                         // 32767
                                    0x00, 0x80, 0x00, 0x00,                         // 32768
                                    0xFF, 0xFF, 0xFF, 0xFF};                        // -1
    std::copy(frame, frame + 20, chunk + 10);
    double values[7] = {};
    std::int8_t flag = 0;
    decodeStatusFrame(chunk, 30, values, &flag);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(values[0], 1.0);
    EXPECT_EQ(values[1], 65535.0);
    EXPECT_EQ(values[2], 4660.0);
    EXPECT_EQ(values[3], 32768.0);
    EXPECT_DOUBLE_EQ(values[4], 32767 * 0.017444444);
    EXPECT_DOUBLE_EQ(values[5], -32767 * 0.017444444);
    EXPECT_DOUBLE_EQ(values[6], -0.017444444);
}

TEST(StatusFrame, FoldingRule)
{
    auto angle = [](std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
        std::uint8_t chunk[23] = {};
        chunk[19] = b0, chunk[20] = b1, chunk[21] = b2, chunk[22] = b3;
        double values[7] = {};
        std::int8_t flag = 0;
        decodeStatusFrame(chunk, 23, values, &flag);
        EXPECT_EQ(flag, 0);
        return values[6];
    };
    EXPECT_EQ(angle(0xFF, 0xFF, 0x00, 0x00), 0.0);                                // 65535 folds to 0
    EXPECT_DOUBLE_EQ(angle(0x00, 0x00, 0x01, 0x00), 0.017444444);                 // 65536 folds too
    EXPECT_DOUBLE_EQ(angle(0x00, 0x00, 0x00, 0x80), -2147483648.0 * 0.017444444); // negative: not folded
    EXPECT_DOUBLE_EQ(angle(0xFF, 0xFF, 0xFF, 0x7F), (2147483647.0 - 65535.0) * 0.017444444);
    EXPECT_EQ(angle(0x00, 0x00, 0x00, 0x00), 0.0);
}

TEST(Tail, LastSevenBytesOrNothing)
{
    std::uint8_t chunk[50];
    for (int i = 0; i < 50; ++i)
        chunk[i] = static_cast<std::uint8_t>(i);
    std::uint8_t out[7] = {};
    copyLastBytes(chunk, 6, out);
    for (std::uint8_t b : out)
        EXPECT_EQ(b, 0);
    copyLastBytes(chunk, 50, out);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(out[i], 43 + i);
    copyLastBytes(chunk, 12, out);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(out[i], 5 + i);
}

TEST(ReadRule, TotalIntervalAndNone)
{
    constexpr std::int64_t ms = nanosPerMilli;
    // Nothing received: T + 50T from the start.
    EXPECT_EQ(readDeadline(0, 0, 0, 20), 1020 * ms);
    // After a byte: T from that byte, unless the total comes first.
    EXPECT_EQ(readDeadline(0, 100 * ms, 3, 20), 120 * ms);
    EXPECT_EQ(readDeadline(0, 1010 * ms, 3, 20), 1020 * ms);
    // T = 0: wait for all 50 bytes.
    EXPECT_EQ(readDeadline(0, 5 * ms, 7, 0), noDeadline);
    // Large T does not overflow.
    EXPECT_EQ(readDeadline(0, 0, 0, 0xFFFFFFFFu), std::int64_t(0xFFFFFFFFu) * 51 * ms);
}

TEST(MonotonicClock, MillisUntilRoundsUp)
{
    constexpr std::int64_t ms = nanosPerMilli;
    EXPECT_EQ(millisUntil(0, noDeadline), -1);
    EXPECT_EQ(millisUntil(10 * ms, 10 * ms), 0);
    EXPECT_EQ(millisUntil(10 * ms, 5 * ms), 0);
    EXPECT_EQ(millisUntil(0, 1), 1);
    EXPECT_EQ(millisUntil(0, 5 * ms), 5);
    EXPECT_EQ(millisUntil(0, 5 * ms + 1), 6);
    EXPECT_EQ(millisUntil(0, std::int64_t(1) << 62), 0x7FFFFFFF);
}

TEST(PortRecord, TextRoundTripsAndNamesItsProcess)
{
    PortRecord record{};
    ASSERT_TRUE(addAttached(&record, AttachedPort{7, 20, 34816}));
    ASSERT_TRUE(addAttached(&record, AttachedPort{0xFFFFFFFEu, 0x7FFFFFFF, ~std::uint64_t(0)}));
    removeAttached(&record, 7);
    ASSERT_TRUE(addAttached(&record, AttachedPort{9, 0, 1}));
    char text[recordTextCapacity];
    ASSERT_TRUE(formatPortRecord(record, 4242, text, sizeof text));
    EXPECT_STREQ(text, "pid 4242 port 4294967294 2147483647 18446744073709551615 port 9 0 1 freed 7");

    PortRecord back{};
    ASSERT_TRUE(parsePortRecord(text, 4242, &back));
    ASSERT_EQ(back.portCount, 2u);
    EXPECT_EQ(findAttached(back, 9)->device, 1u);
    EXPECT_EQ(findAttached(back, 7), nullptr);
    EXPECT_TRUE(recentlyFreed(back, 7));
    // Another process's record (inherited by a child), or anything that is
    // not a record, lists no port.
    EXPECT_FALSE(parsePortRecord(text, 4243, &back));
    EXPECT_EQ(back.portCount, 0u);
    for (const char *bad : {"", "pid", "pid 4242 port 9 0", "pid 4242 port 9 0 1 x", "pid 4242 port -9 0 1",
                            "pid 4242 port 4294967296 0 1", "pid 4242  port 9 0 1", "pid 4242 freed 9freed"}) {
        EXPECT_FALSE(parsePortRecord(bad, 4242, &back)) << bad;
        EXPECT_EQ(back.portCount + back.freedCount, 0u) << bad;
    }
    // A text too long for the buffer is refused, not cut.
    EXPECT_FALSE(formatPortRecord(record, 4242, text, 20));
}

TEST(PortRecord, FullRecordAndTheFreedNumbersKept)
{
    PortRecord record{};
    for (std::uint32_t h = 1; h <= maxAttachedPorts; ++h)
        ASSERT_TRUE(addAttached(&record, AttachedPort{h, 5, 0}));
    EXPECT_FALSE(addAttached(&record, AttachedPort{99, 5, 0}));
    char text[recordTextCapacity];
    ASSERT_TRUE(formatPortRecord(record, 1, text, sizeof text));
    // The newest freedNumbersKept numbers stay, one entry each; a number freed
    // again moves to the newest end.
    for (std::uint32_t h = 1; h <= maxAttachedPorts; ++h)
        removeAttached(&record, h);
    EXPECT_EQ(record.portCount, 0u);
    EXPECT_FALSE(recentlyFreed(record, maxAttachedPorts - freedNumbersKept));
    EXPECT_TRUE(recentlyFreed(record, maxAttachedPorts - freedNumbersKept + 1));
    addAttached(&record, AttachedPort{maxAttachedPorts - freedNumbersKept + 1, 5, 0});
    removeAttached(&record, maxAttachedPorts - freedNumbersKept + 1);
    EXPECT_EQ(record.freedCount, freedNumbersKept);
    EXPECT_EQ(record.freed[freedNumbersKept - 1], maxAttachedPorts - freedNumbersKept + 1);
    // Removing a handle the record does not list frees nothing.
    removeAttached(&record, 12345);
    EXPECT_FALSE(recentlyFreed(record, 12345));
}
