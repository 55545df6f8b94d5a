// The POSIX port routines against real pseudo-terminals: messages, settings,
// exclusivity, byte transparency, the read time-out rule, hang-ups, and that
// nothing but an open port is ever touched.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
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
#include "serial.hpp"

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

TEST(OpenSerial, MissingPortPrintsMinusOneAndSaysItDoesNotExist)
{
    std::uint32_t handle = 0;
    const HostOutcome r = attach("/dev/no-such-port-here", &handle);
    EXPECT_FALSE(r.returned);
    EXPECT_EQ(r.error, "Error: serial port does not exist");
    EXPECT_EQ(r.printed, "*hSerial: -1\n");
    EXPECT_EQ(handle, noPort);
}

TEST(OpenSerial, FailuresLeaveNoDescriptorOpen)
{
    char fileTemplate[] = "/tmp/mexlink-notaport-XXXXXX";
    const int file = mkstemp(fileTemplate);
    ASSERT_GE(file, 0);
    close(file);
    PtyPair pty = openPtyPair();
    struct Case {
        std::string path;
        std::int32_t baud, byteSize, parity, timeout;
        const char *error;
    };
    const std::vector<Case> cases = {
        {fileTemplate, 9600, 8, 0, 10, "Error: setting serial port state"},
        {"/dev/null", 9600, 8, 0, 10, "Error: setting serial port state"},
        {"/tmp", 9600, 8, 0, 10, "Error: opening the serial port"},
        {pty.slavePath, 9600, 9, 0, 10, "Error: setting serial port state"},
        {pty.slavePath, 9600, 4, 0, 10, "Error: setting serial port state"},
        {pty.slavePath, 9600, 8, 5, 10, "Error: setting serial port state"},
        {pty.slavePath, 0, 8, 0, 10, "Error: setting serial port state"},
        {pty.slavePath, -9600, 8, 0, 10, "Error: setting serial port state"},
        {pty.slavePath, 9600, 8, 0, -1, "Error: setting timeout"},
        {pty.slavePath, 9600, 8, 0, INT32_MIN, "Error: setting timeout"},
    };
    const int before = openDescriptorCount();
    for (const Case &c : cases) {
        std::uint32_t handle = 0;
        const HostOutcome r = attach(c.path, &handle, c.baud, c.byteSize, c.parity, c.timeout);
        EXPECT_FALSE(r.returned) << c.path;
        EXPECT_EQ(r.error, c.error) << c.path << " " << c.byteSize << " " << c.parity;
        EXPECT_EQ(r.printed.rfind("*hSerial: ", 0), 0u);
        EXPECT_EQ(openDescriptorCount(), before) << c.path;
    }
    // The refused settings did not leave the port unusable.
    std::uint32_t handle = 0;
    EXPECT_TRUE(attach(pty.slavePath, &handle).returned);
    EXPECT_TRUE(detach(handle).returned);
    closeMaster(&pty);
    unlink(fileTemplate);
}

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

TEST(OpenSerial, SecondOpenIsRefusedWhileTheFirstHoldsThePort)
{
    PtyPair pty = openPtyPair();
    std::uint32_t first = 0;
    ASSERT_TRUE(attach(pty.slavePath, &first, 115200, 8, 0, 20).returned);

    std::uint32_t second = 0;
    const int before = openDescriptorCount();
    const HostOutcome again = attach(pty.slavePath, &second, 9600, 7, 2, 99);
    EXPECT_FALSE(again.returned);
    EXPECT_EQ(again.error, "Error: opening the serial port");
    // Refused as a failed open is: no number the user could take for a port.
    EXPECT_EQ(again.printed, "*hSerial: -1\n");
    EXPECT_EQ(second, noPort);
    EXPECT_EQ(openDescriptorCount(), before);

    // Another process fares no better, whoever it runs as.
    const pid_t child = fork();
    if (child == 0) {
        std::uint32_t h = 0;
        const HostOutcome r = attach(pty.slavePath, &h);
        _exit(!r.returned && r.error == "Error: opening the serial port" ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // The refused opens did not disturb the holder's settings.
    termios t{};
    tcgetattr(static_cast<int>(first), &t);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & PARENB, 0u);
    writeMaster(pty.master, sequence(5));
    EXPECT_EQ(readOnce(first).bytes, sequence(5));

    ASSERT_TRUE(detach(first).returned);
    EXPECT_TRUE(attach(pty.slavePath, &second).returned);
    detach(second);
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

TEST_F(OpenPort, ReadOnceReturnsFiftyAtOnceAndPrintsTheCount)
{
    writeMaster(pty.master, sequence(60));
    const ReadResult r = readOnce(handle);
    ASSERT_TRUE(r.outcome.returned);
    EXPECT_EQ(r.bytes, sequence(50));
    EXPECT_EQ(r.outcome.printed, "NumReadBytes: 50\n");
    EXPECT_LT(r.elapsedMs, 500);
    const ReadResult rest = readOnce(handle);
    EXPECT_EQ(rest.bytes, sequence(10, 50));
    EXPECT_EQ(rest.outcome.printed, "NumReadBytes: 10\n");
}

TEST_F(OpenPort, QuietLineEndsAfterTheTotalTimeOut)
{
    // T = 20: nothing arrives, so the read ends after T + 50*T = 1020 ms.
    const ReadResult r = readOnce(handle);
    ASSERT_TRUE(r.outcome.returned);
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_EQ(r.outcome.printed, "NumReadBytes: 0\n");
    EXPECT_GE(r.elapsedMs, 1019);
    EXPECT_LT(r.elapsedMs, 1020 + 700);
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

TEST_F(OpenPort, LatestKeepsTheShortChunkAndTheEndOfTheOneBefore)
{
    // 130 bytes waiting: chunks of 50, 50, then 30 that ends at the pause; the
    // last 22 of the second chunk come along.
    writeMaster(pty.master, sequence(130));
    usleep(20000);
    const ReadResult r = readLatest(handle);
    ASSERT_TRUE(r.outcome.returned) << r.outcome.error;
    EXPECT_EQ(r.bytes, sequence(52, 78));
    EXPECT_EQ(r.outcome.printed, "");

    // An exact multiple of 50 ends on an empty chunk: the 22 before it remain.
    writeMaster(pty.master, sequence(100));
    usleep(20000);
    EXPECT_EQ(readLatest(handle).bytes, sequence(22, 78));

    // A backlog shorter than one chunk is all there is.
    writeMaster(pty.master, sequence(12));
    usleep(20000);
    EXPECT_EQ(readLatest(handle).bytes, sequence(12));
}

TEST_F(OpenPort, LatestGivesUpOnALineThatNeverPauses)
{
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (!stop) {
            writeMaster(pty.master, sequence(10));
            usleep(1000);
        }
    });
    const ReadResult r = readLatest(handle);
    stop = true;
    writer.join();
    EXPECT_FALSE(r.outcome.returned);
    EXPECT_EQ(r.outcome.error, "Error: the serial line never paused");
    EXPECT_GE(r.elapsedMs, std::int64_t(latestDrainLimitMs) - 1);
    EXPECT_LT(r.elapsedMs, std::int64_t(latestDrainLimitMs) + 1020 + 1000);
}

TEST_F(OpenPort, LatestWithZeroTimeOutOnAQuietLineHasAnEnd)
{
    reattach(0);
    const ReadResult r = readLatest(handle);
    EXPECT_FALSE(r.outcome.returned);
    EXPECT_EQ(r.outcome.error, "Error: the serial line never paused");
    EXPECT_LT(r.elapsedMs, std::int64_t(latestDrainLimitMs) + 1000);
}

TEST_F(OpenPort, HangUpFailsReadsAndWritesPromptlyAndCloseStillWorks)
{
    reattach(1000);
    closeMaster(&pty);
    const ReadResult r = readOnce(handle);
    EXPECT_FALSE(r.outcome.returned);
    EXPECT_EQ(r.outcome.error, "Error: could not read from serial port");
    EXPECT_LT(r.elapsedMs, 1000);
    const HostOutcome w = writeBytes(handle, sequence(16));
    EXPECT_FALSE(w.returned);
    EXPECT_EQ(w.error, "Error: could not write to serial port");
    EXPECT_TRUE(detach(handle).returned);
    handle = noPort;
}

TEST_F(OpenPort, StalledPortFailsTheWriteWithinSeconds)
{
    // Nobody reads the master: once the kernel's buffers fill, a write must
    // fail after its time-out instead of blocking for ever.
    const std::int64_t start = monotonicMillis();
    HostOutcome w;
    int writes = 0;
    do {
        w = writeBytes(handle, sequence(16));
        ++writes;
    } while (w.returned && writes < 100000);
    EXPECT_FALSE(w.returned);
    EXPECT_EQ(w.error, "Error: could not write to serial port");
    EXPECT_LT(monotonicMillis() - start, 15000);
}

TEST_F(OpenPort, ClosedAndForeignHandlesAreNeverTouched)
{
    // Closing twice: the second close finds no port.
    const std::uint32_t closed = handle;
    ASSERT_TRUE(detach(handle).returned);
    handle = noPort;
    EXPECT_EQ(detach(closed).error, "Error: could not close serial port.");
    EXPECT_EQ(readOnce(closed).outcome.error, "Error: could not read from serial port");
    EXPECT_EQ(writeBytes(closed, sequence(4)).error, "Error: could not write to serial port");
    EXPECT_EQ(detach(noPort).error, "Error: serial port does not exist.");

    // Descriptors the host owns: a file, a pipe, and another descriptor of the
    // very terminal a port is open on.
    ASSERT_TRUE(attach(pty.slavePath, &handle).returned);
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
}

TEST_F(OpenPort, OutsideKeyChangesLeaveTheHandleWorkingAndDetachLeavesTheKeys)
{
    // A second descriptor keeps the terminal (and its settings) alive across
    // the close, as a controller's driver would.
    const int keeper = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(keeper, 0);
    // Someone changes keys from outside while the port is attached.
    termios t{};
    tcgetattr(keeper, &t);
    t.c_cc[VERASE] = 0x08;
    t.c_cc[VINTR] = 0x03;
    tcsetattr(keeper, TCSANOW, &t);
    termios changed{};
    tcgetattr(keeper, &changed);
    EXPECT_TRUE(writeBytes(handle, sequence(4)).returned);
    EXPECT_EQ(readMaster(pty.master, 4, 1000), sequence(4));
    const std::uint32_t closed = handle;
    EXPECT_TRUE(detach(handle).returned);
    handle = noPort;
    EXPECT_FALSE(descriptorOpen(static_cast<int>(closed)));
    tcgetattr(keeper, &t);
    EXPECT_EQ(0, std::memcmp(t.c_cc, changed.c_cc, sizeof t.c_cc));
    // The lock went with it, and the number, reused for the same terminal,
    // names no port.
    const int reopened = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY);
    const int reused = static_cast<int>(closed);
    ASSERT_EQ(dup2(reopened, reused), reused);
    close(reopened);
    EXPECT_EQ(writeBytes(closed, sequence(4)).error, "Error: could not write to serial port");
    EXPECT_EQ(detach(closed).error, "Error: could not close serial port.");
    EXPECT_TRUE(readMaster(pty.master, 1, 100).empty());
    close(reused);
    ASSERT_TRUE(attach(pty.slavePath, &handle).returned);
    close(keeper);
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
