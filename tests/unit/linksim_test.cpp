// Drives the real linksim process over a real pseudo-terminal, the way the
// MEX client talks to the controller.

#include "monotonic_clock.hpp"
#include "protocol.hpp"
#include "read_rule.hpp"
#include "status_frames.hpp"
#include "telegrams.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace mexlink;

#ifndef LINKSIM_PATH
#error "LINKSIM_PATH must name the linksim executable"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;
using linksim::frameLength;

void sleepMillis(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string hex(const Bytes &bytes) { return linksim::hexBytes(bytes.data(), bytes.size()); }

// Telegrams as the commands build them.
template <std::uint32_t N> Bytes bytesOf(const Telegram<N> &t) { return Bytes(t.bytes, t.bytes + t.size); }

Bytes startTelegram(const std::string &name)
{
    return bytesOf(buildStartProgram(name.data(), static_cast<std::uint32_t>(name.size())));
}

Bytes stopTelegram() { return bytesOf(buildStopProgram()); }

Bytes mailboxTelegram(int a, int b, int c) { return bytesOf(buildMailboxMessage(a, b, c)); }

Bytes concat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A status frame as linkState decodes it (values, angles in whole units),
// with the raw angle words the simulator put on the line.
struct Frame {
    std::uint16_t values[4];
    std::uint32_t raw[3];
    int angles[3];
};

// The frame's own header is the simulator's framing, which the commands do
// not look at; its 20 fields go through the commands' decoder.
bool decodeFrame(const Bytes &bytes, std::size_t offset, Frame *frame)
{
    if (bytes.size() < offset + frameLength)
        return false;
    const std::uint8_t *p = bytes.data() + offset;
    if (p[0] != frameLength - 2 || p[1] != 0x00 || p[2] != linksim::frameType)
        return false;
    double decoded[statusValueCount] = {};
    std::int8_t isShort = 0;
    decodeStatusFrame(p, static_cast<std::uint32_t>(frameLength), decoded, &isShort);
    if (isShort != 0)
        return false;
    for (int i = 0; i < 4; ++i)
        frame->values[i] = static_cast<std::uint16_t>(decoded[i]);
    for (int i = 0; i < 3; ++i) {
        const std::uint8_t *q = p + 11 + 4 * i;
        frame->raw[i] = static_cast<std::uint32_t>(q[0]) | static_cast<std::uint32_t>(q[1]) << 8
                        | static_cast<std::uint32_t>(q[2]) << 16 | static_cast<std::uint32_t>(q[3]) << 24;
        frame->angles[i] = static_cast<int>(std::lround(decoded[4 + i] / angleScale));
    }
    return true;
}

std::string frameLogLine(const Frame &frame)
{
    std::ostringstream s;
    s << "frame " << frame.values[0];
    for (std::uint16_t v : frame.values)
        s << ' ' << v;
    for (int a : frame.angles)
        s << ' ' << a;
    return s.str();
}

// The client end of the line: raw mode, non-blocking, advisory lock and
// exclusive mode, like the real port code. Kept apart from the commands' port
// code on purpose: these tests must tell a fault of the simulator from one of
// the port code, which the port tests cover against this same simulator.
class Port {
public:
    explicit Port(const std::string &path)
    {
        portFd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (portFd < 0)
            return;
        termios settings{};
        tcgetattr(portFd, &settings);
        cfmakeraw(&settings);
        tcsetattr(portFd, TCSANOW, &settings);
        flock(portFd, LOCK_EX | LOCK_NB);
        ioctl(portFd, TIOCEXCL);
    }
    ~Port() { closePort(); }
    Port(const Port &) = delete;
    Port &operator=(const Port &) = delete;

    bool ok() const { return portFd >= 0; }
    int fd() const { return portFd; }

    void closePort()
    {
        if (portFd < 0)
            return;
        ioctl(portFd, TIOCNXCL);
        close(portFd);
        portFd = -1;
    }

    void flushInput() { tcflush(portFd, TCIFLUSH); }

    bool send(const Bytes &bytes)
    {
        return write(portFd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Reads until `count` bytes arrived, the deadline passed or the line dropped.
    Bytes readCount(std::size_t count, int timeoutMs)
    {
        Bytes out;
        const std::int64_t deadline = monotonicNanos() + millisToNanos(timeoutMs);
        while (out.size() < count) {
            pollfd p{portFd, POLLIN, 0};
            if (poll(&p, 1, millisUntil(monotonicNanos(), deadline)) <= 0)
                break;
            std::uint8_t buffer[4096];
            const ssize_t n = read(portFd, buffer, std::min(sizeof buffer, count - out.size()));
            if (n <= 0) {
                if (n < 0 && errno == EAGAIN)
                    continue;
                break;
            }
            out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }

    // Whatever one read returns once input is there; empty on time-out.
    Bytes readSome(int timeoutMs)
    {
        pollfd p{portFd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return {};
        std::uint8_t buffer[4096];
        const ssize_t n = read(portFd, buffer, sizeof buffer);
        return n > 0 ? Bytes(buffer, buffer + n) : Bytes{};
    }

    // Everything that arrives until the line stays quiet for quietMs.
    Bytes drain(int quietMs)
    {
        Bytes out;
        for (;;) {
            Bytes b = readCount(65536, quietMs);
            if (b.empty())
                return out;
            out.insert(out.end(), b.begin(), b.end());
        }
    }

    bool readFrame(Frame *frame, int timeoutMs = 1000)
    {
        const Bytes b = readCount(frameLength, timeoutMs);
        return decodeFrame(b, 0, frame);
    }

private:
    int portFd = -1;
};

// A linksim child process with its stdin/stdout on pipes and a private log.
class SimulatorProcess {
public:
    explicit SimulatorProcess(std::vector<std::string> args, bool withLog = true)
    {
        char dir[] = "/tmp/linksim-test-XXXXXX";
        if (mkdtemp(dir))
            tempDir = dir;
        if (withLog) {
            logPath = tempDir + "/sim.log";
            args.insert(args.begin(), {"--log", logPath});
        }
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            std::vector<char *> argv;
            std::string exe = LINKSIM_PATH;
            argv.push_back(exe.data());
            for (auto &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(exe.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        stdinFd = in[1];
        stdoutFd = out[0];
        signal(SIGPIPE, SIG_IGN);
    }

    ~SimulatorProcess()
    {
        if (pid > 0 && !reaped) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        closeStdin();
        if (stdoutFd >= 0)
            close(stdoutFd);
        if (!logPath.empty())
            unlink(logPath.c_str());
        if (!tempDir.empty())
            rmdir(tempDir.c_str());
    }
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // First stdout line: the slave device.
    std::string slave()
    {
        if (slavePath.empty())
            slavePath = readLine(2000);
        return slavePath;
    }

    // With --background, once the launcher has exited: from here on this
    // stands for the serving child it left behind.
    void follow(pid_t child, const std::string &device)
    {
        pid = child;
        reaped = false;
        slavePath = device;
    }

    std::string readLine(int timeoutMs)
    {
        const std::int64_t deadline = monotonicNanos() + millisToNanos(timeoutMs);
        for (;;) {
            const std::size_t newline = stdoutBuffer.find('\n');
            if (newline != std::string::npos) {
                std::string line = stdoutBuffer.substr(0, newline);
                stdoutBuffer.erase(0, newline + 1);
                return line;
            }
            pollfd p{stdoutFd, POLLIN, 0};
            if (poll(&p, 1, millisUntil(monotonicNanos(), deadline)) <= 0)
                return "<timeout>";
            char buffer[4096];
            const ssize_t n = read(stdoutFd, buffer, sizeof buffer);
            if (n <= 0)
                return "<eof>";
            stdoutBuffer.append(buffer, static_cast<std::size_t>(n));
        }
    }

    std::string command(const std::string &line)
    {
        const std::string text = line + "\n";
        std::size_t pos = 0;
        while (pos < text.size()) {
            const ssize_t n = write(stdinFd, text.data() + pos, text.size() - pos);
            if (n <= 0)
                return "<write failed>";
            pos += static_cast<std::size_t>(n);
        }
        return readLine(2000);
    }

    void closeStdin()
    {
        if (stdinFd >= 0)
            close(stdinFd);
        stdinFd = -1;
    }

    bool running() { return !reaped && waitpid(pid, &status, WNOHANG) == 0; }

    // Exit code, or -1 if it did not exit normally in time.
    int waitExit(int timeoutMs = 1500)
    {
        const std::int64_t deadline = monotonicNanos() + millisToNanos(timeoutMs);
        while (!reaped) {
            const pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == pid)
                reaped = true;
            else if (monotonicNanos() > deadline)
                return -1;
            else
                sleepMillis(5);
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int terminate(int signalNumber = SIGTERM)
    {
        kill(pid, signalNumber);
        return waitExit();
    }

    std::vector<std::string> log() const
    {
        std::vector<std::string> lines;
        std::ifstream f(logPath);
        std::string line;
        while (std::getline(f, line))
            lines.push_back(line);
        return lines;
    }

    bool waitLog(const std::string &line, int timeoutMs = 1000) const
    {
        const std::int64_t deadline = monotonicNanos() + millisToNanos(timeoutMs);
        do {
            const auto lines = log();
            if (std::find(lines.begin(), lines.end(), line) != lines.end())
                return true;
            sleepMillis(5);
        } while (monotonicNanos() < deadline);
        return false;
    }

    int countLog(const std::string &prefix) const
    {
        const auto lines = log();
        return static_cast<int>(
            std::count_if(lines.begin(), lines.end(), [&](const std::string &l) { return l.rfind(prefix, 0) == 0; }));
    }

    bool waitCount(const std::string &prefix, int n, int timeoutMs = 1000) const
    {
        const std::int64_t deadline = monotonicNanos() + millisToNanos(timeoutMs);
        while (countLog(prefix) < n) {
            if (monotonicNanos() > deadline)
                return false;
            sleepMillis(5);
        }
        return true;
    }

    // Log lines following the first occurrence of `line`.
    std::vector<std::string> logAfter(const std::string &line) const
    {
        auto lines = log();
        auto it = std::find(lines.begin(), lines.end(), line);
        if (it == lines.end())
            return {};
        return {it + 1, lines.end()};
    }

private:
    pid_t pid = -1;
    int stdinFd = -1;
    int stdoutFd = -1;
    int status = 0;
    bool reaped = false;
    std::string tempDir;
    std::string logPath;
    std::string slavePath;
    std::string stdoutBuffer;
};

// Runs linksim to completion and returns its exit code; stdout in *out.
int runToExit(const std::vector<std::string> &args, std::string *out)
{
    SimulatorProcess simulator(args, false);
    simulator.closeStdin();
    out->clear();
    for (;;) {
        const std::string line = simulator.readLine(1500);
        if (line == "<eof>" || line == "<timeout>")
            break;
        *out += line + "\n";
    }
    return simulator.waitExit();
}

// ---------------------------------------------------------------- options

TEST(LinksimOptions, HelpAndRejectedArguments)
{
    std::string out;
    EXPECT_EQ(runToExit({"--help"}, &out), 0);
    EXPECT_NE(out.find("usage: linksim"), std::string::npos);
    EXPECT_NE(out.find("--hangup-after"), std::string::npos);
    EXPECT_NE(out.find("--background"), std::string::npos);

    for (const auto &args : std::vector<std::vector<std::string>>{{"--frobnicate"},
                                                                  {"--period", "0"},
                                                                  {"--period", "12x"},
                                                                  {"--period"},
                                                                  {"--fault", "melt"},
                                                                  {"--programs", "a,,b"},
                                                                  {"--programs", "a,sixteen_chars_xx"},
                                                                  {"--hangup-after", "-1"},
                                                                  {"--control=yes"}}) {
        EXPECT_EQ(runToExit(args, &out), 2) << args[0];
        EXPECT_EQ(out, "") << "usage errors must not reach stdout";
    }
}

TEST(LinksimOptions, SignalsEndTheSimulatorCleanly)
{
    for (int signalNumber : {SIGTERM, SIGINT}) {
        SimulatorProcess simulator({"--autostart", "drive", "--period", "5"});
        ASSERT_EQ(simulator.slave().rfind("/dev/pts/", 0), 0u) << simulator.slave();
        EXPECT_TRUE(simulator.waitCount("frame ", 2)) << "serving before the signal";
        EXPECT_EQ(simulator.terminate(signalNumber), 0) << strsignal(signalNumber);
    }
}

// -------------------------------------------------------------- telegrams

TEST(LinksimTelegrams, StartStopAndProgramNamesAreLogged)
{
    SimulatorProcess simulator({"--period", "60000"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok()) << simulator.slave();

    port.send(startTelegram("drive"));
    port.send(startTelegram(std::string("a\x01\xffz", 4)));
    port.send(startTelegram(""));
    port.send(startTelegram("abcdefghijklmno")); // longest name
    port.send(stopTelegram());
    port.send(stopTelegram()); // stop without a running program
    ASSERT_TRUE(simulator.waitCount("stop", 2));
    EXPECT_EQ(simulator.log(), (std::vector<std::string>{
                                   "start \"drive\"",
                                   "program drive running",
                                   "start \"a\\x01\\xffz\"",
                                   "program a\\x01\\xffz unknown",
                                   "start \"\"",
                                   "program  unknown",
                                   "start \"abcdefghijklmno\"",
                                   "program abcdefghijklmno unknown",
                                   "stop",
                                   "stop",
                               }));
}

TEST(LinksimTelegrams, ControlStatsCountTelegrams)
{
    SimulatorProcess simulator({"--control", "--period", "60000"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    port.send(concat(startTelegram("idle"), stopTelegram()));
    port.send({0xff, 0xfe});
    ASSERT_TRUE(simulator.waitLog("bad telegram: ff fe"));
    EXPECT_EQ(simulator.command("stats"), "frames 0 telegrams 2");
    EXPECT_EQ(simulator.readLine(1000), "ok");
}

TEST(LinksimTelegrams, SplitMergedAndMalformedInput)
{
    SimulatorProcess simulator({"--period", "60000"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());

    // One byte at a time, well inside the fragment time-out.
    for (uint8_t b : startTelegram("idle")) {
        port.send({b});
        sleepMillis(5);
    }
    ASSERT_TRUE(simulator.waitLog("program idle running"));

    const Bytes badMailboxNumber{0x0e, 0x00, 0x80, 0x09, 0x02, 0x0a, '1', '0', '0', '1', '0', '0', '1', '0', '0', 0x00};
    const Bytes letterInField{0x0e, 0x00, 0x80, 0x09, 0x01, 0x0a, '1', '0', '0', '1', 'x', '0', '1', '0', '0', 0x00};
    // 16 name bytes: longer than the commands ever send.
    const Bytes longName{0x14, 0x00, 0x80, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g',
                         'h',  'i',  'j',  'k',  'l', 'm', 'n', 'o', 'p', 0x00};
    const Bytes truncatedStart{0x08, 0x00, 0x80, 0x00, 'd', 'r'};
    const Bytes unknownCode{0x02, 0x00, 0x80, 0x05};

    // Garbage is reported as one run per burst of input, so each case waits
    // for its log line before the next one goes out.
    port.send(concat(Bytes{0xff, 0x13, 0x37}, stopTelegram()));
    ASSERT_TRUE(simulator.waitLog("stop"));
    for (const Bytes &bad : {badMailboxNumber, letterInField, longName}) {
        port.send(bad);
        ASSERT_TRUE(simulator.waitLog("bad telegram: " + hex(bad)));
    }
    // A broken telegram followed at once by a good one: the good one is found.
    port.send(concat(truncatedStart, stopTelegram()));
    ASSERT_TRUE(simulator.waitLog("bad telegram: " + hex(truncatedStart)));
    port.send(concat(unknownCode, mailboxTelegram(100, 100, 100)));
    ASSERT_TRUE(simulator.waitLog("mailbox 1: 100 100 100"));

    EXPECT_EQ(simulator.logAfter("program idle running"), (std::vector<std::string>{
                                                              "bad telegram: ff 13 37",
                                                              "stop",
                                                              "bad telegram: " + hex(badMailboxNumber),
                                                              "bad telegram: " + hex(letterInField),
                                                              "bad telegram: " + hex(longName),
                                                              "bad telegram: " + hex(truncatedStart),
                                                              "stop",
                                                              "bad telegram: " + hex(unknownCode),
                                                              "mailbox 1: 100 100 100",
                                                              "ignored",
                                                          }));
}

TEST(LinksimTelegrams, StaleFragmentDoesNotSwallowNextTelegram)
{
    SimulatorProcess simulator({"--period", "60000"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    // Header of a mailbox telegram whose rest never comes.
    port.send({0x0e, 0x00, 0x80, 0x09, 0x01});
    ASSERT_TRUE(simulator.waitLog("bad telegram: 0e 00 80 09 01", 1500));
    port.send(stopTelegram());
    ASSERT_TRUE(simulator.waitLog("stop"));
    EXPECT_EQ(simulator.log(), (std::vector<std::string>{"bad telegram: 0e 00 80 09 01", "stop"}));
}

// ----------------------------------------------------------------- frames

TEST(LinksimFrames, FramesDecodeAndMatchTheLog)
{
    SimulatorProcess simulator({"--period", "20"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    port.send(startTelegram("drive"));
    port.send(mailboxTelegram(150, 50, 100)); // powers 50, -50, 0
    ASSERT_TRUE(simulator.waitLog("setpoints 50 -50 0"));

    std::vector<Frame> frames;
    for (int i = 0; i < 8; ++i) {
        Frame frame{};
        ASSERT_TRUE(port.readFrame(&frame)) << "frame " << i;
        frames.push_back(frame);
    }
    for (size_t i = 0; i < frames.size(); ++i) {
        const Frame &frame = frames[i];
        EXPECT_EQ(frame.values[0], i + 1) << "sequence starts at 1 and counts up";
        EXPECT_TRUE(simulator.waitLog(frameLogLine(frame))) << frameLogLine(frame);
        EXPECT_LE(frame.values[1], 1023);
        EXPECT_LE(frame.values[2], 255);
        EXPECT_GT(frame.values[3], 7000);
        EXPECT_LT(frame.values[3], 8400);
        for (int m = 0; m < 3; ++m) {
            EXPECT_NE(frame.raw[m], 65535u);
            EXPECT_LT(frame.raw[m], 65536u) << "angles are folded into 16 bits";
            if (frame.angles[m] < 0)
                EXPECT_EQ(frame.raw[m], static_cast<uint32_t>(frame.angles[m] + 65535));
            else
                EXPECT_EQ(frame.raw[m], static_cast<uint32_t>(frame.angles[m]));
        }
        // Equal and opposite power: mirror-image angles; no power: no motion.
        EXPECT_EQ(frame.angles[0], -frame.angles[1]);
        EXPECT_EQ(frame.angles[2], 0);
    }
    EXPECT_GT(frames.back().angles[0], frames[2].angles[0]);
    EXPECT_LT(frames.back().angles[1], 0) << "negative angles survive the folding";
}

TEST(LinksimFrames, StopEndsTheStream)
{
    SimulatorProcess simulator({"--period", "10"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    port.send(startTelegram("drive"));
    Frame frame{};
    ASSERT_TRUE(port.readFrame(&frame));
    ASSERT_TRUE(port.readFrame(&frame));
    port.send(stopTelegram());
    ASSERT_TRUE(simulator.waitLog("stop"));
    port.drain(30);
    const int logged = simulator.countLog("frame ");
    EXPECT_TRUE(port.readCount(1, 150).empty()) << "no frames after stop";
    EXPECT_EQ(simulator.countLog("frame "), logged);

    port.send(startTelegram("drive"));
    ASSERT_TRUE(port.readFrame(&frame)) << "a new start streams again";
    EXPECT_EQ(frame.values[0], 1);
}

TEST(LinksimFrames, RestartReplacesTheRunningProgram)
{
    SimulatorProcess simulator({"--period", "10"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    port.send(startTelegram("drive"));
    port.send(mailboxTelegram(200, 200, 200));
    Frame frame{};
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(port.readFrame(&frame));
    EXPECT_GT(frame.angles[0], 0);

    port.send(startTelegram("idle"));
    // The first frame whose sequence number goes down belongs to the new
    // program: it restarts the sequence and the motors.
    uint16_t previous = frame.values[0];
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(port.readFrame(&frame));
        if (frame.values[0] < previous)
            break;
        previous = frame.values[0];
    }
    EXPECT_EQ(frame.values[0], 1);
    EXPECT_EQ(frame.angles[0], 0);
    EXPECT_TRUE(simulator.waitLog("program idle running"));
    port.send(mailboxTelegram(200, 200, 200));
    ASSERT_TRUE(simulator.waitLog("ignored")) << "idle semantics now";
    EXPECT_EQ(simulator.countLog("setpoints "), 1);
}

// --------------------------------------------------------------- programs

TEST(LinksimPrograms, BalanceTakesGainsFirstThenSetpoints)
{
    SimulatorProcess simulator({"--period", "60000"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    port.send(startTelegram("balance"));
    port.send(mailboxTelegram(10, 20, 30));
    port.send(mailboxTelegram(105, 95, 200));
    port.send(mailboxTelegram(0, 999, 100));
    port.send(startTelegram("balance"));
    port.send(mailboxTelegram(300, 999, 0));
    port.send(startTelegram("drive"));
    port.send(mailboxTelegram(10, 20, 30));
    port.send(stopTelegram());
    port.send(mailboxTelegram(10, 20, 30));
    ASSERT_TRUE(simulator.waitLog("ignored"));
    EXPECT_EQ(simulator.log(), (std::vector<std::string>{
                                   "start \"balance\"",
                                   "program balance running",
                                   "mailbox 1: 010 020 030",
                                   "gains 10 20 30",
                                   "mailbox 1: 105 095 200",
                                   "setpoints 5 -5 100",
                                   "mailbox 1: 000 999 100",
                                   "setpoints -100 100 0",
                                   "start \"balance\"",
                                   "program balance running",
                                   "mailbox 1: 300 999 000",
                                   "gains 255 255 0",
                                   "start \"drive\"",
                                   "program drive running",
                                   "mailbox 1: 010 020 030",
                                   "setpoints -90 -80 -70",
                                   "stop",
                                   "mailbox 1: 010 020 030",
                                   "ignored",
                               }));
}

TEST(LinksimPrograms, ConfiguredProgramListAndAutostart)
{
    SimulatorProcess simulator({"--programs", "spin,idle", "--autostart", "spin", "--period", "60000"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    port.send(mailboxTelegram(120, 100, 100));
    port.send(startTelegram("drive"));
    ASSERT_TRUE(simulator.waitLog("program drive unknown"));
    EXPECT_EQ(simulator.log(), (std::vector<std::string>{
                                   "start \"spin\"",
                                   "program spin running",
                                   "mailbox 1: 120 100 100",
                                   "setpoints 20 0 0",
                                   "start \"drive\"",
                                   "program drive unknown",
                               }));
}

// Angle of motor 1 in the 10th frame after full power was set, i.e. about
// 0.25 s later on the simulator's own clock.
int angleAfterFullPower(int g1)
{
    SimulatorProcess simulator({"--period", "25"});
    Port port(simulator.slave());
    if (!port.ok())
        return -1;
    port.send(startTelegram("balance"));
    port.send(mailboxTelegram(g1, 0, 0));
    port.send(mailboxTelegram(200, 100, 100));
    const std::int64_t deadline = monotonicNanos() + millisToNanos(1500);
    for (;;) {
        std::vector<std::string> frames;
        for (const auto &line : simulator.logAfter("setpoints 100 0 0"))
            if (line.rfind("frame ", 0) == 0)
                frames.push_back(line);
        if (frames.size() >= 10) {
            int seq, v[4], a[3];
            if (std::sscanf(frames[9].c_str(), "frame %d %d %d %d %d %d %d %d", &seq, &v[0], &v[1], &v[2], &v[3], &a[0],
                            &a[1], &a[2])
                != 8)
                return -1;
            return a[0];
        }
        if (monotonicNanos() > deadline)
            return -1;
        sleepMillis(10);
    }
}

TEST(LinksimPrograms, HigherFirstGainMeansFasterMotors)
{
    const int slow = angleAfterFullPower(0);   // lag clamped to 2 s
    const int fast = angleAfterFullPower(255); // lag clamped to 0.02 s
    std::printf("[ figures  ] angle after ~0.25 s at full power: g1=0 %d deg, g1=255 %d deg\n", slow, fast);
    ASSERT_GT(slow, 0);
    EXPECT_GT(fast, 3 * slow);
}

TEST(LinksimPrograms, ProportionalLoopConverges)
{
    SimulatorProcess simulator({"--period", "20"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    port.send(startTelegram("drive"));
    const int target[3] = {45, -30, 0};
    Frame frame{};
    int settled = 0;
    int worstOvershoot = 0;
    const std::int64_t deadline = monotonicNanos() + millisToNanos(1500);
    while (settled < 5 && monotonicNanos() < deadline) {
        ASSERT_TRUE(port.readFrame(&frame));
        int cmd[3];
        bool near = true;
        for (int m = 0; m < 3; ++m) {
            const int err = target[m] - frame.angles[m];
            near = near && std::abs(err) <= 2;
            cmd[m] = std::clamp(err / 2, -100, 100) + 100;
        }
        worstOvershoot = std::max(worstOvershoot, frame.angles[0] - target[0]);
        settled = near ? settled + 1 : 0;
        port.send(mailboxTelegram(cmd[0], cmd[1], cmd[2]));
    }
    std::printf("[ figures  ] settled after frame %u, overshoot %d deg\n", frame.values[0], worstOvershoot);
    EXPECT_EQ(settled, 5) << "angles " << frame.angles[0] << " " << frame.angles[1] << " " << frame.angles[2];
}

TEST(LinksimPrograms, IdleStreamsButIgnoresTheMailbox)
{
    SimulatorProcess simulator({"--period", "10"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    port.send(mailboxTelegram(200, 200, 200)); // nothing running
    port.send(startTelegram("idle"));
    port.send(mailboxTelegram(200, 200, 200));
    Frame frame{};
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(port.readFrame(&frame));
    EXPECT_EQ(frame.angles[0], 0);
    EXPECT_EQ(simulator.countLog("ignored"), 2);
    EXPECT_EQ(simulator.countLog("setpoints"), 0);
}

// ----------------------------------------------------------------- faults

TEST(LinksimFaults, SilenceAcceptsTelegramsButNeverSends)
{
    SimulatorProcess simulator({"--fault", "silence", "--period", "10"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    port.send(startTelegram("drive"));
    ASSERT_TRUE(simulator.waitLog("program drive running"));
    EXPECT_TRUE(port.readCount(1, 150).empty());
    EXPECT_EQ(simulator.countLog("frame "), 0);
}

Bytes firstGarbage(int bursts)
{
    SimulatorProcess simulator({"--fault", "garbage", "--period", "10"});
    Port port(simulator.slave());
    if (!port.ok())
        return {};
    port.send(startTelegram("drive"));
    Bytes b = port.readCount(frameLength * static_cast<size_t>(bursts), 1000);
    // Every burst sent is logged, byte for byte.
    for (size_t i = 0; i + frameLength <= b.size(); i += frameLength) {
        const Bytes one(b.begin() + static_cast<long>(i), b.begin() + static_cast<long>(i + frameLength));
        if (!simulator.waitLog("garbage " + hex(one)))
            return {};
    }
    return b;
}

TEST(LinksimFaults, GarbageReplacesFramesDeterministically)
{
    const Bytes a = firstGarbage(3);
    const Bytes b = firstGarbage(3);
    ASSERT_EQ(a.size(), 3 * frameLength);
    EXPECT_EQ(a, b) << "same bytes on every run";
    Frame frame{};
    for (size_t i = 0; i < a.size(); i += frameLength)
        EXPECT_FALSE(decodeFrame(a, i, &frame));
    EXPECT_NE(Bytes(a.begin(), a.begin() + frameLength), Bytes(a.begin() + frameLength, a.begin() + 2 * frameLength));
}

TEST(LinksimFaults, StreamKeepsTheLineSaturated)
{
    // With a 1 s period, any pacing by the frame timer would show as a gap
    // far beyond the margin allowed for scheduling on a busy machine.
    SimulatorProcess simulator({"--fault", "stream", "--autostart", "drive", "--period", "1000"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    Bytes all;
    double worstGapMs = 0;
    const std::int64_t start = monotonicNanos();
    std::int64_t last = start;
    while (monotonicNanos() - start < millisToNanos(300)) {
        const Bytes b = port.readSome(200);
        const std::int64_t now = monotonicNanos();
        worstGapMs = std::max(worstGapMs, static_cast<double>(now - last) / nanosPerMilli);
        last = now;
        all.insert(all.end(), b.begin(), b.end());
    }
    const size_t n = all.size() / frameLength;
    std::printf("[ figures  ] stream: %zu frames in 300 ms, longest gap %.1f ms\n", n, worstGapMs);
    EXPECT_LT(worstGapMs, 100.0);
    ASSERT_GT(n, 100u);
    // Nothing is dropped in stream mode: every frame, in order, intact.
    for (size_t i = 0; i < n; ++i) {
        Frame frame{};
        ASSERT_TRUE(decodeFrame(all, i * frameLength, &frame)) << "frame " << i;
        ASSERT_EQ(frame.values[0], static_cast<uint16_t>(i + 1));
    }
}

// True once the line reports hang-up (EOF, EIO or POLLHUP) with no more
// data before it.
bool lineDropped(Port &port, int timeoutMs)
{
    pollfd p{port.fd(), POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0)
        return false;
    if (p.revents & POLLHUP)
        return true;
    uint8_t buf[256];
    const ssize_t r = read(port.fd(), buf, sizeof buf);
    return r == 0 || (r < 0 && errno == EIO);
}

TEST(LinksimFaults, HangupAfterFramesDropsTheLine)
{
    SimulatorProcess simulator({"--hangup-after", "2", "--period", "10"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    port.send(startTelegram("drive"));
    Frame frame{};
    ASSERT_TRUE(port.readFrame(&frame));
    ASSERT_TRUE(port.readFrame(&frame));
    EXPECT_EQ(frame.values[0], 2);
    EXPECT_TRUE(lineDropped(port, 1000));
    EXPECT_TRUE(simulator.waitLog("hangup"));
    sleepMillis(30);
    EXPECT_TRUE(simulator.running()) << "stays up until told to stop";
    EXPECT_EQ(simulator.terminate(), 0);
}

TEST(LinksimFaults, ExitOnHangup)
{
    SimulatorProcess simulator({"--hangup-after", "1", "--exit-on-hangup", "--period", "10"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    port.send(startTelegram("idle"));
    Frame frame{};
    ASSERT_TRUE(port.readFrame(&frame));
    EXPECT_TRUE(lineDropped(port, 1000));
    EXPECT_EQ(simulator.waitExit(), 0);
}

// ---------------------------------------------------------- line handling

TEST(LinksimLine, ClientCanDetachAndReattach)
{
    SimulatorProcess simulator({"--period", "10"});
    const std::string path = simulator.slave();
    {
        Port port(path);
        ASSERT_TRUE(port.ok());
        port.send(startTelegram("drive"));
        Frame frame{};
        ASSERT_TRUE(port.readFrame(&frame));
    }
    sleepMillis(50); // frames pile up in the line meanwhile
    for (int round = 0; round < 2; ++round) {
        Port port(path);
        ASSERT_TRUE(port.ok()) << "reopen " << round << ": " << std::strerror(errno);
        port.flushInput();
        port.drain(3);
        // Two frames' worth always holds one whole frame to resynchronise on.
        const Bytes b = port.readCount(2 * frameLength, 1000);
        Frame frame{};
        bool found = false;
        for (size_t i = 0; i + frameLength <= b.size() && !found; ++i)
            found = decodeFrame(b, i, &frame);
        EXPECT_TRUE(found) << "round " << round;
    }
    Port port(path);
    port.send(stopTelegram());
    EXPECT_TRUE(simulator.waitLog("stop"));
    EXPECT_EQ(simulator.countLog("line error"), 0);
}

// ---------------------------------------------------------------- control

TEST(LinksimControl, SendFrameHangupAndQuit)
{
    SimulatorProcess simulator({"--control", "--period", "60000"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());

    EXPECT_EQ(simulator.command("send 01 02 ff"), "ok");
    EXPECT_EQ(port.readCount(3, 1000), (Bytes{0x01, 0x02, 0xff}));
    EXPECT_EQ(simulator.command("send 0a0B 7"), "ok");
    EXPECT_EQ(port.readCount(3, 1000), (Bytes{0x0a, 0x0b, 0x07}));
    EXPECT_EQ(simulator.command("send 0g"), "error bad hex bytes");
    EXPECT_EQ(simulator.command("send 123"), "error bad hex bytes");
    EXPECT_EQ(simulator.command("send"), "error bad hex bytes");
    EXPECT_TRUE(port.readCount(1, 30).empty()) << "rejected sends write nothing";

    EXPECT_EQ(simulator.command("frame"), "ok");
    Frame frame{};
    ASSERT_TRUE(port.readFrame(&frame)) << "frames on demand without a program";
    EXPECT_EQ(frame.values[0], 1);
    EXPECT_TRUE(simulator.waitLog(frameLogLine(frame)));

    EXPECT_EQ(simulator.command("stats"), "frames 1 telegrams 0");
    EXPECT_EQ(simulator.readLine(1000), "ok");
    EXPECT_EQ(simulator.command("frame now"), "error unexpected argument");
    EXPECT_EQ(simulator.command("jump"), "error unknown command");

    EXPECT_EQ(simulator.command("hangup"), "ok");
    EXPECT_TRUE(lineDropped(port, 1000));
    EXPECT_EQ(simulator.command("send 01"), "error line closed");
    EXPECT_EQ(simulator.command("frame"), "error line closed");
    EXPECT_EQ(simulator.command("quit"), "ok");
    EXPECT_EQ(simulator.waitExit(), 0);
}

TEST(LinksimControl, EndOfInputQuits)
{
    SimulatorProcess simulator({"--control"});
    ASSERT_EQ(simulator.slave().rfind("/dev/pts/", 0), 0u);
    simulator.closeStdin();
    EXPECT_EQ(simulator.waitExit(), 0);
}

TEST(LinksimControl, FullLineDropsFramesWithoutTearing)
{
    SimulatorProcess simulator({"--control", "--period", "60000"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());

    // Far more than the line buffers while nobody reads.
    Bytes pattern(64 * 1024);
    std::string cmd = "send";
    for (size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = static_cast<uint8_t>(i * 7 + i / 256);
        char tmp[4];
        std::snprintf(tmp, sizeof tmp, " %02x", pattern[i]);
        cmd += tmp;
    }
    EXPECT_EQ(simulator.command(cmd), "ok");
    EXPECT_EQ(simulator.command("frame"), "error line full");
    EXPECT_TRUE(simulator.waitLog("dropped 1"));

    EXPECT_EQ(port.readCount(pattern.size(), 1500), pattern) << "queued bytes arrive complete and in order";
    EXPECT_EQ(simulator.command("frame"), "ok");
    Frame frame{};
    ASSERT_TRUE(port.readFrame(&frame));
    EXPECT_EQ(frame.values[0], 2) << "the dropped frame leaves a gap in the sequence";
    EXPECT_EQ(simulator.command("stats"), "frames 1 telegrams 0");
}

// ------------------------------------------------------------- background

// The launcher leaves the serving child behind as an orphan; as a subreaper
// this process gets it, so its exit status can be checked like any child's.
class LinksimBackground : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0) << std::strerror(errno); }
    void TearDown() override { prctl(PR_SET_CHILD_SUBREAPER, 0); }

    // The launcher's part: the one line "DEVICE PID", then exit 0. From here
    // on *simulator stands for the serving child.
    static void followLauncher(SimulatorProcess *simulator)
    {
        const std::string line = simulator->readLine(2000);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, std::regex("(/dev/pts/[0-9]+) ([1-9][0-9]*)"))) << line;
        const int launcherExit = simulator->waitExit();
        const pid_t child = static_cast<pid_t>(std::stol(match[2]));
        simulator->follow(child, match[1]);
        ASSERT_EQ(launcherExit, 0) << "the launcher exits once the child serves";
        EXPECT_EQ(getsid(child), child) << "the child leads a session of its own";
    }
};

TEST_F(LinksimBackground, ServesInItsOwnSessionUntilTerminated)
{
    SimulatorProcess simulator({"--background", "--period", "60000"});
    ASSERT_NO_FATAL_FAILURE(followLauncher(&simulator));
    EXPECT_EQ(simulator.readLine(1000), "<eof>") << "without --control the child lets go of stdout";
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok()) << simulator.slave();
    port.send(startTelegram("drive"));
    EXPECT_TRUE(simulator.waitLog("program drive running"));
    EXPECT_EQ(simulator.terminate(), 0);
}

TEST_F(LinksimBackground, ControlCommandsOverTheInheritedPipes)
{
    SimulatorProcess simulator({"--background", "--control", "--period", "60000"});
    ASSERT_NO_FATAL_FAILURE(followLauncher(&simulator));
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok()) << simulator.slave();
    port.send(startTelegram("idle"));
    ASSERT_TRUE(simulator.waitLog("program idle running"));
    EXPECT_EQ(simulator.command("stats"), "frames 0 telegrams 1") << "no second device line before the reply";
    EXPECT_EQ(simulator.readLine(1000), "ok");
    EXPECT_EQ(simulator.command("quit"), "ok");
    EXPECT_EQ(simulator.waitExit(), 0);
}

} // namespace
