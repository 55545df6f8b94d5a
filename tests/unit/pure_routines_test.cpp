// Byte layouts of the telegrams and status frames, number conversion and the
// read time-out rule, the text of the record of attached ports, socket
// names, the timing of a link, and the order, names and descriptions of the
// ports linkPorts lists: pure code, no I/O.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frame/argument_checks.hpp"
#include "port/port_list.hpp"
#include "port/record.hpp"
#include "port/socket_name.hpp"
#include "protocol/link_timing.hpp"
#include "protocol/read_rule.hpp"
#include "protocol/status_frames.hpp"
#include "protocol/telegrams.hpp"

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

namespace {

// What readSerialLatest hands back after reads of these sizes, each chunk
// holding the next numbers of a running count.
std::vector<int> newestAfter(std::initializer_list<std::uint32_t> reads)
{
    std::uint8_t stream[latestStreamSize] = {};
    int next = 0;
    bool carried = false;
    std::uint32_t last = 0;
    bool first = true;
    for (const std::uint32_t n : reads) {
        if (!first) {
            carryFullChunk(stream);
            carried = true;
        }
        first = false;
        for (std::uint32_t i = 0; i < n; ++i)
            stream[latestCarrySize + i] = static_cast<std::uint8_t>(next++);
        last = n;
    }
    const std::uint32_t count = packNewest(stream, carried, last);
    return std::vector<int>(stream, stream + count);
}

std::vector<int> countFrom(int first, int n)
{
    std::vector<int> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = first + i;
    return v;
}

} // namespace

TEST(ReadRule, LatestCarriesTheEndOfTheFullChunkBeforeTheLast)
{
    // 130 bytes: the short chunk and the last 22 of the full one before it.
    EXPECT_EQ(newestAfter({50, 50, 30}), countFrom(78, 52));
    // An exact multiple of 50 ends on an empty chunk: the 22 before it remain.
    EXPECT_EQ(newestAfter({50, 50, 0}), countFrom(78, 22));
    // One short chunk is all there is; nothing read, nothing handed back.
    EXPECT_EQ(newestAfter({12}), countFrom(0, 12));
    EXPECT_EQ(newestAfter({0}), countFrom(0, 0));
    // The most it hands back: one short of a carry and a full chunk.
    EXPECT_EQ(newestAfter({50, 49}), countFrom(28, 71));
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
    ASSERT_TRUE(addAttached(&record, Port{7, 20, 34816, PortKind::serial}));
    ASSERT_TRUE(addAttached(&record, Port{0xFFFFFFFEu, 0x7FFFFFFF, ~std::uint64_t(0), PortKind::socket}));
    removeAttached(&record, 7);
    ASSERT_TRUE(addAttached(&record, Port{9, 0, 1, PortKind::serial}));
    char text[recordTextCapacity];
    ASSERT_TRUE(formatPortRecord(record, 4242, text, sizeof text));
    EXPECT_STREQ(text, "pid 4242 port 4294967294 2147483647 18446744073709551615 socket port 9 0 1 serial freed 7");

    PortRecord back{};
    ASSERT_TRUE(parsePortRecord(text, 4242, &back));
    ASSERT_EQ(back.portCount, 2u);
    EXPECT_EQ(findAttached(back, 9)->device, 1u);
    EXPECT_EQ(findAttached(back, 9)->kind, PortKind::serial);
    EXPECT_EQ(findAttached(back, 0xFFFFFFFEu)->kind, PortKind::socket);
    EXPECT_EQ(findAttached(back, 7), nullptr);
    EXPECT_TRUE(recentlyFreed(back, 7));
    // Another process's record (inherited by a child), or anything that is
    // not a record, lists no port.
    EXPECT_FALSE(parsePortRecord(text, 4243, &back));
    EXPECT_EQ(back.portCount, 0u);
    for (const char *bad : {"", "pid", "pid 4242 port 9 0 1", "pid 4242 port 9 0 1 tty", "pid 4242 port 9 0 1 serialx",
                            "pid 4242 port -9 0 1 serial", "pid 4242 port 4294967296 0 1 serial",
                            "pid 4242  port 9 0 1 serial", "pid 4242 freed 9freed"}) {
        EXPECT_FALSE(parsePortRecord(bad, 4242, &back)) << bad;
        EXPECT_EQ(back.portCount + back.freedCount, 0u) << bad;
    }
    // A text too long for the buffer is refused, not cut.
    EXPECT_FALSE(formatPortRecord(record, 4242, text, 20));
}

TEST(PortRecord, FullRecordAndTheFreedNumbersKept)
{
    PortRecord record{};
    // Every field at its widest still fits.
    for (std::uint32_t h = 1; h <= maxAttachedPorts; ++h)
        ASSERT_TRUE(addAttached(&record, Port{0xFFFFFFFFu - h, 0xFFFFFFFFu, ~std::uint64_t(0), PortKind::socket}));
    for (std::uint32_t h = 1; h <= freedNumbersKept; ++h)
        record.freed[record.freedCount++] = 0xFFFFFFFFu - 100 - h;
    char text[recordTextCapacity];
    ASSERT_TRUE(formatPortRecord(record, 0xFFFFFFFFu, text, sizeof text));
    EXPECT_EQ(std::strlen(text), recordTextCapacity - 1);
    record = PortRecord{};
    for (std::uint32_t h = 1; h <= maxAttachedPorts; ++h)
        ASSERT_TRUE(addAttached(&record, Port{h, 5, 0, PortKind::serial}));
    EXPECT_FALSE(addAttached(&record, Port{99, 5, 0, PortKind::serial}));
    ASSERT_TRUE(formatPortRecord(record, 1, text, sizeof text));
    // The newest freedNumbersKept numbers stay, one entry each; a number freed
    // again moves to the newest end.
    for (std::uint32_t h = 1; h <= maxAttachedPorts; ++h)
        removeAttached(&record, h);
    EXPECT_EQ(record.portCount, 0u);
    EXPECT_FALSE(recentlyFreed(record, maxAttachedPorts - freedNumbersKept));
    EXPECT_TRUE(recentlyFreed(record, maxAttachedPorts - freedNumbersKept + 1));
    addAttached(&record, Port{maxAttachedPorts - freedNumbersKept + 1, 5, 0, PortKind::serial});
    removeAttached(&record, maxAttachedPorts - freedNumbersKept + 1);
    EXPECT_EQ(record.freedCount, freedNumbersKept);
    EXPECT_EQ(record.freed[freedNumbersKept - 1], maxAttachedPorts - freedNumbersKept + 1);
    // Removing a handle the record does not list frees nothing.
    removeAttached(&record, 12345);
    EXPECT_FALSE(recentlyFreed(record, 12345));
}

TEST(SocketName, HostAndPortOrMalformed)
{
    struct Case {
        const char *name;
        PortNameKind kind;
        const char *host;
        const char *service;
    };
    const Case cases[] = {
        {"/dev/ttyUSB0", PortNameKind::device, "", ""},
        {"COM3", PortNameKind::device, "", ""},
        {"socket:/x:1", PortNameKind::device, "", ""},
        {"socket://127.0.0.1:5000", PortNameKind::socket, "127.0.0.1", "5000"},
        {"SOCKET://robot-7.lab.example_net:65535", PortNameKind::socket, "robot-7.lab.example_net", "65535"},
        {"socket://[::1]:1", PortNameKind::socket, "::1", "1"},
        {"socket://[fe80::1%eth0]:23", PortNameKind::socket, "fe80::1%eth0", "23"},
        {"socket://host:00080", PortNameKind::socket, "host", "80"},
        {"socket://", PortNameKind::malformed, "", ""},
        {"socket://host", PortNameKind::malformed, "", ""},
        {"socket://host:", PortNameKind::malformed, "", ""},
        {"socket://:80", PortNameKind::malformed, "", ""},
        {"socket://host:0", PortNameKind::malformed, "", ""},
        {"socket://host:65536", PortNameKind::malformed, "", ""},
        {"socket://host:123456", PortNameKind::malformed, "", ""},
        {"socket://host:80/", PortNameKind::malformed, "", ""},
        {"socket://host:80 ", PortNameKind::malformed, "", ""},
        {"socket://host:+80", PortNameKind::malformed, "", ""},
        {"socket://ho st:80", PortNameKind::malformed, "", ""},
        {"socket://user@host:80", PortNameKind::malformed, "", ""},
        {"socket://::1:80", PortNameKind::malformed, "", ""},
        {"socket://[::1:80", PortNameKind::malformed, "", ""},
        {"socket://[]:80", PortNameKind::malformed, "", ""},
        {"socket://[::1]80", PortNameKind::malformed, "", ""},
    };
    for (const Case &c : cases) {
        SocketName name{};
        EXPECT_EQ(parsePortName(c.name, &name), c.kind) << c.name;
        if (c.kind == PortNameKind::socket) {
            EXPECT_STREQ(name.host, c.host) << c.name;
            EXPECT_STREQ(name.service, c.service) << c.name;
        }
    }
    // The longest host the name takes, and one character more.
    SocketName name{};
    const std::string longest = "socket://" + std::string(socketHostCapacity - 1, 'a') + ":1";
    EXPECT_EQ(parsePortName(longest.c_str(), &name), PortNameKind::socket);
    const std::string tooLong = "socket://" + std::string(socketHostCapacity, 'a') + ":1";
    EXPECT_EQ(parsePortName(tooLong.c_str(), &name), PortNameKind::malformed);
}

namespace {

// What a probe records of frames of `size` bytes every `periodMs`, each
// byte a tenth of a millisecond after the one before, delivered as
// `deliver` says (the time a byte sent at `sentNs` arrives).
template <typename Deliver> LinkTiming probeOf(int frames, std::uint32_t size, double periodMs, Deliver deliver)
{
    Burst bursts[4096];
    std::uint32_t count = 0;
    std::int64_t last = 0;
    for (int k = 0; k < frames; ++k)
        for (std::uint32_t b = 0; b < size; ++b) {
            const auto sent = static_cast<std::int64_t>((k * periodMs + b * 0.1) * nanosPerMilli);
            const std::int64_t at = std::max(deliver(sent), last);
            EXPECT_TRUE(addArrival(bursts, 4096, &count, at, 1));
            last = at;
        }
    LinkTiming timing{};
    judgeLink(bursts, count, &timing);
    return timing;
}

} // namespace

TEST(LinkTiming, FramesTheirGapsAndTheSafeTimeOuts)
{
    // A cable: every frame in one burst, 47.7 ms of quiet between them.
    LinkTiming cable = probeOf(40, 23, 50, [](std::int64_t t) { return t; });
    EXPECT_EQ(cable.frameBytes, 23u);
    EXPECT_EQ(cable.frames, 38u);
    EXPECT_EQ(cable.misshapen, 0u);
    EXPECT_NEAR(cable.periodMs, 50, 0.01);
    EXPECT_EQ(cable.longestGapInFrameMs, 0);
    EXPECT_NEAR(cable.shortestQuietMs, 47.8, 0.01);
    EXPECT_EQ(cable.safeLowMs, 2);
    EXPECT_EQ(cable.safeHighMs, 47 - 4);
    EXPECT_EQ(cable.recommendedMs, 2 + (43 - 2) / 2);

    // One frame late by a hiccup, in one burst with the next: joined, yet no
    // gap inside a frame grew, and T is as safe as before.
    const std::int64_t late = 20 * 50 * nanosPerMilli;
    LinkTiming hiccup = probeOf(40, 23, 50, [&](std::int64_t t) {
        return t >= late && t < late + 10 * nanosPerMilli ? t + 48 * nanosPerMilli : t;
    });
    EXPECT_EQ(hiccup.frameBytes, 23u);
    EXPECT_EQ(hiccup.misshapen, 1u);
    EXPECT_EQ(hiccup.shortestQuietMs, 0);
    EXPECT_EQ(hiccup.recommendedMs, cable.recommendedMs);

    // A slow cable: the bytes 1.04 ms apart (9600 baud) come one by one, and
    // the frames are still the 23 bytes between the long quiets.
    LinkTiming slow = probeOf(40, 23, 50, [](std::int64_t t) {
        const std::int64_t frame = t / (50 * nanosPerMilli) * (50 * nanosPerMilli);
        return frame + (t - frame) * 1042 / 100;
    });
    EXPECT_EQ(slow.frameBytes, 23u);
    EXPECT_NEAR(slow.longestGapInFrameMs, 1.04, 0.01);
    EXPECT_EQ(slow.safeLowMs, 2 + 2);
    EXPECT_GT(slow.recommendedMs, slow.safeLowMs);

    // A USB adapter handing bytes over every 16 ms: frames that straddle its
    // timer come in two pieces, 16 ms apart.
    const std::int64_t tick = 16 * nanosPerMilli;
    LinkTiming adapter = probeOf(40, 23, 50, [&](std::int64_t t) { return (t / tick + 1) * tick; });
    EXPECT_EQ(adapter.frameBytes, 23u);
    EXPECT_EQ(adapter.misshapen, 0u);
    EXPECT_NEAR(adapter.longestGapInFrameMs, 16, 0.01);
    EXPECT_EQ(adapter.safeLowMs, 16 + 4);
    EXPECT_GT(adapter.safeHighMs, adapter.safeLowMs);
    EXPECT_GE(adapter.recommendedMs, adapter.safeLowMs);
    EXPECT_LE(adapter.recommendedMs, adapter.safeHighMs);

    // Frames every 5 ms through that adapter: each delivery holds three or
    // four of them and cuts the next, so no T keeps them apart.
    LinkTiming joined = probeOf(200, 23, 5, [&](std::int64_t t) { return (t / tick + 1) * tick; });
    EXPECT_GT(joined.misshapen, 0u);
    EXPECT_GT(joined.safeLowMs, joined.safeHighMs);
    EXPECT_EQ(joined.recommendedMs, 0);

    // A packet link: the last 13 bytes of each frame come up to 25 ms after
    // the first 10, so some quiets between frames are shorter than gaps
    // inside them. A T above those gaps reads on over the short quiets and
    // ends at a longer one, with a whole frame; frames every 20 ms leave
    // too few such quiets.
    const auto jittered = [](double periodMs) {
        return [periodMs](std::int64_t t) {
            const auto period = static_cast<std::int64_t>(periodMs * nanosPerMilli);
            const std::int64_t k = t / period;
            const bool tail = t - k * period >= nanosPerMilli;
            return t + (tail ? (k * 37 % 26) * nanosPerMilli : 0);
        };
    };
    LinkTiming packets = probeOf(80, 23, 50, jittered(50));
    EXPECT_EQ(packets.frameBytes, 23u);
    EXPECT_NEAR(packets.longestGapInFrameMs, 25.1, 0.01);
    EXPECT_LT(packets.shortestQuietMs, packets.longestGapInFrameMs);
    EXPECT_EQ(packets.safeLowMs, 26 + 6);
    EXPECT_GE(packets.recommendedMs, packets.safeLowMs);
    EXPECT_LE(packets.recommendedMs, packets.safeHighMs);
    LinkTiming fast = probeOf(200, 23, 20, jittered(20));
    EXPECT_EQ(fast.recommendedMs, 0);

    // Nothing arrived.
    LinkTiming none{};
    judgeLink(nullptr, 0, &none);
    EXPECT_EQ(none.frames, 0u);
    EXPECT_EQ(none.recommendedMs, 0);
}

TEST(PortList, SortedByNameWithNumbersByValue)
{
    EXPECT_LT(naturalCompare("COM2", "COM10"), 0);
    EXPECT_LT(naturalCompare("COM9", "\\\\.\\COM10"), 0); // "\\.\" aside
    EXPECT_LT(naturalCompare("\\\\.\\COM10", "\\\\.\\COM100"), 0);
    EXPECT_LT(naturalCompare("/dev/ttyUSB9", "/dev/ttyUSB10"), 0);
    EXPECT_LT(naturalCompare("/dev/rfcomm0", "/dev/ttyACM0"), 0);
    EXPECT_LT(naturalCompare("/dev/ttyS", "/dev/ttyS0"), 0);
    EXPECT_EQ(naturalCompare("COM3", "COM3"), 0);
    // Alike by value, told apart by their text: still a strict order.
    EXPECT_LT(naturalCompare("COM01", "COM1"), 0);
    EXPECT_GT(naturalCompare("COM1", "COM01"), 0);

    PortList list{};
    const char *names[] = {"\\\\.\\COM12", "COM3", "\\\\.\\COM10", "COM1", "\\\\.\\CNCA0"};
    for (const char *name : names)
        std::strcpy(list.ports[list.count++].name, name);
    sortListedPorts(&list);
    std::vector<std::string> sorted;
    for (std::uint32_t i = 0; i < list.count; ++i)
        sorted.push_back(list.ports[i].name);
    EXPECT_EQ(sorted, (std::vector<std::string>{"\\\\.\\CNCA0", "COM1", "COM3", "\\\\.\\COM10", "\\\\.\\COM12"}));
}

TEST(PortList, WindowsNamesAsLinkAttachTakesThem)
{
    char name[listedNameCapacity];
    ASSERT_TRUE(windowsPortName("COM3", name));
    EXPECT_STREQ(name, "COM3");
    ASSERT_TRUE(windowsPortName("COM10", name));
    EXPECT_STREQ(name, "\\\\.\\COM10");
    for (const char *other : {"COM0", "COM", "CNCA0", "COM3x"}) {
        ASSERT_TRUE(windowsPortName(other, name));
        EXPECT_EQ(std::string(name), std::string("\\\\.\\") + other);
    }
    EXPECT_FALSE(windowsPortName("", name));
    EXPECT_FALSE(windowsPortName(std::string(listedNameCapacity - 4, 'X').c_str(), name));
    EXPECT_TRUE(windowsPortName(std::string(listedNameCapacity - 5, 'X').c_str(), name));

    EXPECT_TRUE(sameWindowsPort("\\\\.\\COM12", "COM12"));
    EXPECT_TRUE(sameWindowsPort("COM3", "com3"));
    EXPECT_FALSE(sameWindowsPort("COM3", "COM30"));
    EXPECT_FALSE(sameWindowsPort("\\\\.\\COM30", "COM3"));
}

TEST(PortList, BluetoothDirectionByTheRemoteAddress)
{
    // The port that waits for the device to call has no remote address.
    EXPECT_EQ(bluetoothDirection("BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\\"
                                 "7&2A3F1E8C&0&000000000000_00000000"),
              BluetoothDirection::incoming);
    EXPECT_EQ(bluetoothDirection("BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&000F\\"
                                 "7&2A3F1E8C&0&0016530A1B2C_C00000000"),
              BluetoothDirection::outgoing);
    EXPECT_EQ(bluetoothDirection("bthenum\\{00001101-0000-1000-8000-00805f9b34fb}_VID&0001005d_PID&223b\\"
                                 "7&1a23e4f&0&001122334455_C00000000"),
              BluetoothDirection::outgoing);
    EXPECT_EQ(bluetoothDirection("USB\\VID_0403&PID_6001\\A600XYZ"), BluetoothDirection::none);
    EXPECT_EQ(bluetoothDirection(""), BluetoothDirection::none);
}

TEST(PortList, DescriptionsJoinedAndCut)
{
    char description[listedDescriptionCapacity];
    describeWindowsPort("USB Serial Port (COM4)", "FTDIBUS\\COMPORT&VID_0403&PID_6001", "FTDIBUS\\A600\\0000",
                        description);
    EXPECT_STREQ(description, "USB Serial Port (COM4), USB 0403:6001");
    describeWindowsPort("", "USB\\VID_10C4&PID_EA60&REV_0100", "USB\\VID_10C4&PID_EA60\\0001", description);
    EXPECT_STREQ(description, "USB 10c4:ea60");
    describeWindowsPort(
        "Standard Serial over Bluetooth link (COM5)", "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&000F",
        "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&000F\\7&2&0&0016530A1B2C_C00000000", description);
    EXPECT_STREQ(description, "Standard Serial over Bluetooth link (COM5), Outgoing: use this one");
    describeWindowsPort("Communications Port (COM1)", "ACPI\\PNP0501", "ACPI\\PNP0501\\0", description);
    EXPECT_STREQ(description, "Communications Port (COM1)");

    // IDs of other than four hexadecimal digits say nothing.
    description[0] = '\0';
    appendUsbIds(description, "403", "6001");
    appendUsbIds(description, "0403", "60012");
    appendUsbIds(description, "04g3", "6001");
    EXPECT_STREQ(description, "");

    // Cut where the room ends, with no half of a character of several bytes.
    describeWindowsPort(std::string(600, 'x').c_str(), "", "", description);
    EXPECT_EQ(std::strlen(description), listedDescriptionCapacity - 1);
    describeWindowsPort((std::string(listedDescriptionCapacity - 2, 'x') + "\xC3\xA9").c_str(), "", "", description);
    EXPECT_EQ(std::string(description), std::string(listedDescriptionCapacity - 2, 'x'));
}
