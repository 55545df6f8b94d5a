// The POSIX port routines against real pseudo-terminals, for what only the
// port layer shows: the terminal settings they leave, byte transparency,
// reads timed against bytes that trickle in, the backlog read chunk by chunk,
// descriptors they must not touch, a port above select()'s limit. What a
// user sees of the same port (messages, refused and busy attaches, quiet
// lines, hang-ups, stalls, the drain bound) the Octave tests check, against
// both kernels' code as these.
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "pty_pair.hpp"
#include "port/serial.hpp"
#include "port/transfer.hpp"

using namespace mexlink;

namespace {

constexpr std::uint32_t noPort = 0xFFFFFFFFu;

HostOutcome attach(const std::string &path, std::uint32_t *handle, std::int32_t baud = 115200,
                   std::int32_t byteSize = 8, std::int32_t parity = 0, std::int32_t timeoutMs = 20)
{
    const char *name = path.c_str();
    return inHost([&] { openSerial(handle, name, baud, byteSize, parity, timeoutMs); });
}

HostOutcome detach(std::uint32_t handle)
{
    return inHost([&] { closeSerial(&handle); });
}

struct ReadResult {
    HostOutcome outcome;
    std::vector<std::uint8_t> bytes;
    std::int64_t elapsedMs = 0;
};

ReadResult readOnce(std::uint32_t handle)
{
    std::uint8_t chunk[chunkSize] = {};
    std::uint32_t count = 0;
    const std::int64_t start = monotonicMillis();
    ReadResult r;
    r.outcome = inHost([&] { readSerialOnce(&handle, chunk, &count); });
    r.elapsedMs = monotonicMillis() - start;
    r.bytes.assign(chunk, chunk + count);
    return r;
}

ReadResult readLatest(std::uint32_t handle)
{
    std::uint8_t chunk[latestStreamSize] = {};
    std::uint32_t count = 0;
    const std::int64_t start = monotonicMillis();
    ReadResult r;
    r.outcome = inHost([&] { readSerialLatest(&handle, chunk, &count); });
    r.elapsedMs = monotonicMillis() - start;
    r.bytes.assign(chunk, chunk + count);
    return r;
}

HostOutcome writeBytes(std::uint32_t handle, const std::vector<std::uint8_t> &bytes)
{
    const std::uint8_t *data = bytes.data();
    const auto count = static_cast<std::uint32_t>(bytes.size());
    return inHost([&] { writeSerial(&handle, data, count); });
}

std::vector<std::uint8_t> sequence(std::size_t n, int first = 0)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>(first + i);
    return v;
}

bool descriptorOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

class OpenPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        pty = openPtyPair();
        ASSERT_TRUE(attach(pty.slavePath, &handle, 115200, 8, 0, timeoutMs).returned);
    }
    void TearDown() override
    {
        if (handle != noPort && descriptorOpen(static_cast<int>(handle)))
            detach(handle);
        closeMaster(&pty);
    }
    void reattach(std::int32_t timeout)
    {
        ASSERT_TRUE(detach(handle).returned);
        ASSERT_TRUE(attach(pty.slavePath, &handle, 115200, 8, 0, timeout).returned);
    }
    PtyPair pty;
    std::uint32_t handle = noPort;
    std::int32_t timeoutMs = 20;
};

} // namespace

TEST(OpenSerial, AppliesRawModeAndRateAndReportsSettingsTheDeviceRefuses)
{
    PtyPair pty = openPtyPair();
    // Byte size and parity take the low eight bits of the argument, as the
    // Win32 settings structure does: 264 is 8 bits, 256 no parity.
    for (const auto &[byteSize, parity] : {std::pair{8, 0}, std::pair{264, 256}}) {
        std::uint32_t handle = 0;
        const HostOutcome r = attach(pty.slavePath, &handle, 9600, byteSize, parity, 10);
        ASSERT_TRUE(r.returned) << r.error;
        termios t{};
        ASSERT_EQ(tcgetattr(static_cast<int>(handle), &t), 0);
        EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
        EXPECT_EQ(t.c_cflag & PARENB, 0u);
        EXPECT_EQ(cfgetospeed(&t), B9600);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP), 0u);
        EXPECT_NE(t.c_cflag & CREAD, 0u);
        EXPECT_NE(t.c_cflag & CLOCAL, 0u);
        EXPECT_TRUE(detach(handle).returned);
    }
    // A pseudo-terminal forces 8 bits without parity: asking for anything else
    // must fail rather than silently run with other settings.
    for (const auto &[byteSize, parity] :
         {std::pair{7, 0}, std::pair{8, 1}, std::pair{8, 2}, std::pair{8, 3}, std::pair{8, 4}, std::pair{263, 0}}) {
        std::uint32_t handle = 0;
        const HostOutcome r = attach(pty.slavePath, &handle, 9600, byteSize, parity, 10);
        EXPECT_FALSE(r.returned) << byteSize << "/" << parity;
        EXPECT_EQ(r.error, "Error: setting serial port state") << byteSize << "/" << parity;
    }
    // A rate without a Bxxx constant is accepted where the kernel code can set
    // one (Linux), and refused with the settings message elsewhere.
    std::uint32_t handle = 0;
    const HostOutcome custom = attach(pty.slavePath, &handle, 250000, 8, 0, 10);
    EXPECT_EQ(custom.returned, MEXLINK_CUSTOM_RATES != 0) << custom.error;
    if (custom.returned)
        detach(handle);
    else
        EXPECT_EQ(custom.error, "Error: setting serial port state");
    closeMaster(&pty);
}

TEST(OpenSerial, ThirtyTwoPortsAtMostAndTheNextIsToldWhy)
{
    std::vector<PtyPair> ptys;
    std::vector<std::uint32_t> handles(32);
    for (int i = 0; i < 33; ++i)
        ptys.push_back(openPtyPair());
    for (int i = 0; i < 32; ++i)
        ASSERT_TRUE(attach(ptys[i].slavePath, &handles[i]).returned) << i;
    const int before = openDescriptorCount();
    std::uint32_t handle = 0;
    const HostOutcome full = attach(ptys[32].slavePath, &handle);
    EXPECT_FALSE(full.returned);
    EXPECT_EQ(full.error, "Error: opening the serial port");
    EXPECT_STREQ(mexhostLastErrorId(), "mexlink:tooManyPorts");
    EXPECT_EQ(full.printed, "*hSerial: -1\nWarning: " + ptys[32].slavePath
                                + ": 32 ports are attached in this session already: linkDetach one first "
                                  "(mexlink:tooManyPorts)\nId: mexlink:openCause\n");
    EXPECT_EQ(openDescriptorCount(), before) << "nothing was opened";
    ASSERT_TRUE(detach(handles[0]).returned);
    EXPECT_TRUE(attach(ptys[32].slavePath, &handles[0]).returned);
    for (std::uint32_t h : handles)
        detach(h);
    for (PtyPair &pty : ptys)
        closeMaster(&pty);
}

TEST(OpenSerial, KeepsStopBitsAndHardwareFlowControlButNotXonXoff)
{
    // A terminal as the kernel hands it out: software flow control on, as on
    // a fresh USB serial adapter.
    PtyPair pty = openPtyPair();
    const int keeper = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(keeper, 0);
    termios t{};
    tcgetattr(keeper, &t);
    t.c_cflag |= CSTOPB | CRTSCTS;
    t.c_iflag |= IXON | IXOFF;
    tcsetattr(keeper, TCSANOW, &t);

    std::uint32_t handle = 0;
    ASSERT_TRUE(attach(pty.slavePath, &handle).returned);
    tcgetattr(static_cast<int>(handle), &t);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);

    // XOFF and XON are data: they arrive, and a 0x13 does not stop the output.
    const std::vector<std::uint8_t> frame{0x13, 0x00, 0x11, 0x13, 0x13};
    writeMaster(pty.master, frame);
    EXPECT_EQ(readOnce(handle).bytes, frame);
    const std::vector<std::uint8_t> stop{0x02, 0x00, 0x80, 0x01};
    std::uint32_t h = handle;
    const std::uint8_t *data = stop.data();
    EXPECT_TRUE(inHost([&] { writeSerial(&h, data, 4); }).returned);
    EXPECT_EQ(readMaster(pty.master, 4, 1000), stop);
    detach(handle);
    close(keeper);
    closeMaster(&pty);
}

TEST_F(OpenPort, EveryByteValuePassesUnchangedBothWays)
{
    const std::vector<std::uint8_t> all = sequence(256);
    for (std::size_t at = 0; at < all.size(); at += 16) {
        const std::vector<std::uint8_t> piece(all.begin() + at, all.begin() + at + 16);
        ASSERT_TRUE(writeBytes(handle, piece).returned);
    }
    EXPECT_EQ(readMaster(pty.master, 256, 2000), all);

    writeMaster(pty.master, all);
    std::vector<std::uint8_t> received;
    for (int i = 0; i < 10 && received.size() < all.size(); ++i) {
        const ReadResult r = readOnce(handle);
        ASSERT_TRUE(r.outcome.returned) << r.outcome.error;
        received.insert(received.end(), r.bytes.begin(), r.bytes.end());
    }
    EXPECT_EQ(received, all);
}

TEST_F(OpenPort, GapAfterTheLastByteEndsTheRead)
{
    // Bytes arrive every 5 ms (inside T = 20), then stop: the read ends about
    // T after the last byte, long before the total time-out.
    std::thread writer([&] {
        for (int i = 0; i < 10; ++i) {
            writeMaster(pty.master, {static_cast<std::uint8_t>(i)});
            usleep(5000);
        }
    });
    const ReadResult r = readOnce(handle);
    writer.join();
    ASSERT_TRUE(r.outcome.returned);
    EXPECT_EQ(r.bytes, sequence(10));
    EXPECT_GE(r.elapsedMs, 45 + 20 - 1);
    EXPECT_LT(r.elapsedMs, 700);
}

TEST_F(OpenPort, IntervalTimerStartsOnlyAtTheFirstByte)
{
    // The first byte comes after 200 ms, far more than T = 20: the read keeps
    // waiting for it, then ends T after it.
    std::thread writer([&] {
        usleep(200000);
        writeMaster(pty.master, {0x42, 0x43});
    });
    const ReadResult r = readOnce(handle);
    writer.join();
    ASSERT_TRUE(r.outcome.returned);
    EXPECT_EQ(r.bytes, (std::vector<std::uint8_t>{0x42, 0x43}));
    EXPECT_GE(r.elapsedMs, 219);
    EXPECT_LT(r.elapsedMs, 900);
}

TEST_F(OpenPort, ZeroTimeOutWaitsForAllFiftyBytes)
{
    reattach(0);
    std::thread writer([&] {
        for (int i = 0; i < 5; ++i) {
            usleep(60000);
            writeMaster(pty.master, sequence(10, 10 * i));
        }
    });
    const ReadResult r = readOnce(handle);
    writer.join();
    ASSERT_TRUE(r.outcome.returned);
    EXPECT_EQ(r.bytes, sequence(50));
    EXPECT_GE(r.elapsedMs, 299);
}

TEST_F(OpenPort, ReattachedPortReadsByItsNewTimeOut)
{
    // Reopened with T = 5: a quiet read now ends after 255 ms, not 1020.
    reattach(5);
    const ReadResult r = readOnce(handle);
    ASSERT_TRUE(r.outcome.returned);
    EXPECT_GE(r.elapsedMs, 254);
    EXPECT_LT(r.elapsedMs, 255 + 500);
}

TEST_F(OpenPort, LatestReadsTheBacklogInChunksAndKeepsTheCarry)
{
    // 130 bytes waiting: reads of 50, 50, then 30 that ends at the pause; the
    // last 22 of the second come along (the rule is ReadRule's; the frames
    // decoded from such backlogs are the Octave tests').
    writeMaster(pty.master, sequence(130));
    usleep(20000);
    const ReadResult r = readLatest(handle);
    ASSERT_TRUE(r.outcome.returned) << r.outcome.error;
    EXPECT_EQ(r.bytes, sequence(52, 78));
}

TEST_F(OpenPort, ForeignHandlesAreNeverTouched)
{
    // Descriptors the host owns: a file, a pipe, and another descriptor of the
    // very terminal a port is open on.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const int file = open("/proc/self/status", O_RDONLY);
    const int sameTerminal = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(sameTerminal, 0) << "running as root is expected";
    for (int fd : {pipeEnds[0], pipeEnds[1], file, sameTerminal, 0, 1, 2}) {
        const auto foreign = static_cast<std::uint32_t>(fd);
        EXPECT_EQ(detach(foreign).error, "Error: could not close serial port.") << fd;
        EXPECT_EQ(writeBytes(foreign, sequence(4)).error, "Error: could not write to serial port") << fd;
        EXPECT_EQ(readLatest(foreign).outcome.error, "Error: could not read from serial port") << fd;
        EXPECT_TRUE(descriptorOpen(fd)) << fd;
    }
    // Nothing was written through the foreign descriptor of the terminal.
    EXPECT_TRUE(readMaster(pty.master, 1, 100).empty());
    for (int fd : {pipeEnds[0], pipeEnds[1], file, sameTerminal})
        close(fd);

    // A forked child shares the open file and the environment, but the record
    // names its parent: the child's calls are refused, the port is the
    // parent's as before.
    const pid_t child = fork();
    if (child == 0) {
        const bool refused = writeBytes(handle, sequence(4)).error == "Error: could not write to serial port"
                             && detach(handle).error == "Error: could not close serial port.";
        _exit(refused ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(readMaster(pty.master, 1, 100).empty());
    EXPECT_TRUE(writeBytes(handle, sequence(4)).returned);
    EXPECT_EQ(readMaster(pty.master, 4, 1000), sequence(4));

    // Once detached, the number reused for the same terminal names no port.
    const std::uint32_t closed = handle;
    ASSERT_TRUE(detach(handle).returned);
    handle = noPort;
    const int reopened = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY);
    const int reused = static_cast<int>(closed);
    if (reopened != reused) {
        ASSERT_EQ(dup2(reopened, reused), reused);
        close(reopened);
    }
    EXPECT_EQ(writeBytes(closed, sequence(4)).error, "Error: could not write to serial port");
    EXPECT_EQ(detach(closed).error, "Error: could not close serial port.");
    EXPECT_TRUE(descriptorOpen(reused));
    EXPECT_TRUE(readMaster(pty.master, 1, 100).empty());
    close(reused);
}

TEST(HighDescriptor, APortAboveTheSelectLimitFollowsTheRulesAsAnyOther)
{
    // A session with many files open: the port gets a number select() cannot
    // take, so kernels without poll() for terminals wait in short sleeps.
    const rlim_t wanted = FD_SETSIZE + 64;
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const rlimit original = limit;
    if (limit.rlim_cur < wanted) {
        if (limit.rlim_max < wanted)
            GTEST_SKIP() << "ulimit -n allows only " << limit.rlim_max << " descriptors";
        limit.rlim_cur = wanted;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    }
    std::vector<int> fillers;
    while (fillers.empty() || fillers.back() < FD_SETSIZE + 4)
        fillers.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
    PtyPair pty = openPtyPair();
    std::uint32_t handle = 0;
    ASSERT_TRUE(attach(pty.slavePath, &handle, 115200, 8, 0, 20).returned);
    ASSERT_GE(handle, std::uint32_t(FD_SETSIZE));

    const ReadResult quiet = readOnce(handle);
    EXPECT_TRUE(quiet.bytes.empty());
    EXPECT_GE(quiet.elapsedMs, 1019);
    EXPECT_LT(quiet.elapsedMs, 1020 + 700);
    std::thread writer([&] {
        usleep(100000);
        writeMaster(pty.master, sequence(10));
    });
    const ReadResult late = readOnce(handle);
    writer.join();
    EXPECT_EQ(late.bytes, sequence(10));
    EXPECT_GE(late.elapsedMs, 100 + 20 - 1);
    EXPECT_LT(late.elapsedMs, 700);
    EXPECT_TRUE(writeBytes(handle, sequence(16)).returned);
    EXPECT_EQ(readMaster(pty.master, 16, 1000), sequence(16));

    closeMaster(&pty);
    const ReadResult hungUp = readOnce(handle);
    EXPECT_EQ(hungUp.outcome.error, "Error: could not read from serial port");
    EXPECT_LT(hungUp.elapsedMs, 500);
    EXPECT_TRUE(detach(handle).returned);
    for (int fd : fillers)
        close(fd);
    setrlimit(RLIMIT_NOFILE, &original);
}
