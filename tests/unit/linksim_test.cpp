// Drives the real linksim process over a real pseudo-terminal, and over TCP
// (--listen), the way the MEX client talks to the controller; and checks the
// arithmetic of its link model on its own.

#include "link.hpp"
#include "protocol.hpp"
#include "protocol/instants.hpp"
#include "protocol/status_frames.hpp"
#include "protocol/telegrams.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
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
#include <deque>
#include <fstream>
#include <memory>
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

// The steady clock in the nanoseconds the instants helpers count.
std::int64_t monotonicNanos()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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

// A status frame as linkState decodes it (values, angles in whole units).
struct Frame {
    std::uint16_t values[4];
    int angles[3];
};

// A status frame at `offset`: its 20 fields through the commands' decoder,
// and only if the simulator's encoder gives back these very bytes for what
// was decoded, its own header included (the commands do not look at that).
bool decodeFrame(const Bytes &bytes, std::size_t offset, Frame *frame)
{
    if (bytes.size() < offset + frameLength)
        return false;
    const std::uint8_t *p = bytes.data() + offset;
    double decoded[statusValueCount] = {};
    std::int8_t isShort = 0;
    decodeStatusFrame(p, static_cast<std::uint32_t>(frameLength), decoded, &isShort);
    if (isShort != 0)
        return false;
    linksim::FrameData data{};
    for (int i = 0; i < 4; ++i)
        data.values[i] = static_cast<std::uint16_t>(decoded[i]);
    for (int i = 0; i < 3; ++i)
        data.angles[i] = static_cast<std::int32_t>(std::lround(decoded[4 + i] / angleScale));
    std::uint8_t encoded[frameLength];
    linksim::encodeFrame(data, encoded);
    if (!std::equal(encoded, encoded + frameLength, p))
        return false;
    std::copy(data.values, data.values + 4, frame->values);
    std::copy(data.angles, data.angles + 3, frame->angles);
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

// The client end of the line, opened by the name linksim printed: the slave
// of a pseudo-terminal in raw mode, non-blocking, with advisory lock and
// exclusive mode, like the real port code; or socket://HOST:PORT, a TCP
// connection (with a receive buffer of receiveBuffer bytes if given). Kept
// apart from the commands' port code on purpose: these tests must tell a
// fault of the simulator from one of the port code, which the port tests
// cover against this same simulator.
class Port {
public:
    explicit Port(const std::string &name, int receiveBuffer = 0)
    {
        if (name.rfind("socket://", 0) == 0)
            connectTo(name.substr(9), receiveBuffer);
        else
            openTerminal(name);
    }
    ~Port() { closePort(); }
    Port(const Port &) = delete;
    Port &operator=(const Port &) = delete;

    bool ok() const { return portFd >= 0; }
    int fd() const { return portFd; }
    // Why it did not open (errno).
    int openError() const { return error; }

    void closePort()
    {
        if (portFd < 0)
            return;
        if (!isSocket)
            ioctl(portFd, TIOCNXCL);
        close(portFd);
        portFd = -1;
    }

    // ADDR:PORT of this end of a TCP connection, as the simulator logs it.
    std::string localAddress() const
    {
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        char host[NI_MAXHOST];
        char port[NI_MAXSERV];
        if (getsockname(portFd, reinterpret_cast<sockaddr *>(&address), &size) != 0
            || getnameinfo(reinterpret_cast<sockaddr *>(&address), size, host, sizeof host, port, sizeof port,
                           NI_NUMERICHOST | NI_NUMERICSERV)
                   != 0)
            return "?";
        return std::string(host) + ":" + port;
    }

    // Closes a TCP connection with a reset instead of the orderly end.
    void reset()
    {
        const linger abort{1, 0};
        setsockopt(portFd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        closePort();
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
    void openTerminal(const std::string &path)
    {
        portFd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        error = errno;
        if (portFd < 0)
            return;
        termios settings{};
        tcgetattr(portFd, &settings);
        cfmakeraw(&settings);
        tcsetattr(portFd, TCSANOW, &settings);
        flock(portFd, LOCK_EX | LOCK_NB);
        ioctl(portFd, TIOCEXCL);
    }

    // HOST:PORT, an IPv6 HOST in brackets.
    void connectTo(const std::string &address, int receiveBuffer)
    {
        isSocket = true;
        const std::size_t colon = address.rfind(':');
        std::string host = address.substr(0, colon);
        if (host.size() > 2 && host.front() == '[')
            host = host.substr(1, host.size() - 2);
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
        addrinfo *found = nullptr;
        if (colon == std::string::npos
            || getaddrinfo(host.c_str(), address.substr(colon + 1).c_str(), &hints, &found) != 0) {
            error = EINVAL;
            return;
        }
        portFd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        // Set before connecting, so the connection's window is sized by it.
        if (receiveBuffer > 0)
            setsockopt(portFd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        if (connect(portFd, found->ai_addr, found->ai_addrlen) != 0) {
            error = errno;
            close(portFd);
            portFd = -1;
        }
        freeaddrinfo(found);
        if (portFd >= 0)
            fcntl(portFd, F_SETFL, fcntl(portFd, F_GETFL) | O_NONBLOCK);
    }

    int portFd = -1;
    int error = 0;
    bool isSocket = false;
};

// What a simulator logged: the lines of its --log file, read as it grows.
class SimulatorLog {
public:
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

protected:
    std::string logPath;
};

// Runs a program to its end with LINKSIM naming this build's simulator;
// returns its exit status (-1 if it did not exit normally) and its stdout in
// *out. Its stderr stays the test's, where it says what went wrong.
int runProgram(std::vector<std::string> words, std::string *out)
{
    std::vector<char *> argv;
    for (auto &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        dup2(ends[1], STDOUT_FILENO);
        setenv("LINKSIM", LINKSIM_PATH, 1);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(ends[1]);
    out->clear();
    char buffer[4096];
    ssize_t n;
    while ((n = read(ends[0], buffer, sizeof buffer)) > 0)
        out->append(buffer, static_cast<std::size_t>(n));
    close(ends[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// scripts/simulator.sh, which every harness starts the simulator with.
int launcher(std::vector<std::string> words, std::string *out)
{
    words.insert(words.begin(), {"bash", SIMULATOR_SCRIPT});
    return runProgram(std::move(words), out);
}

// A simulator started by the launcher, in a folder of its own; it serves
// until stopped or told to quit.
class SimulatorProcess : public SimulatorLog {
public:
    explicit SimulatorProcess(const std::vector<std::string> &options)
    {
        char dir[] = "/tmp/linksim-test-XXXXXX";
        if (!mkdtemp(dir))
            return;
        folder = dir;
        logPath = folder + "/log";
        std::vector<std::string> words{"start", folder};
        words.insert(words.end(), options.begin(), options.end());
        std::string started;
        if (launcher(words, &started) == 0)
            std::istringstream(started) >> device >> pid;
    }

    ~SimulatorProcess()
    {
        if (folder.empty())
            return;
        terminate();
        std::string ignored;
        runProgram({"rm", "-rf", folder}, &ignored);
    }
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // The port it serves: the slave device.
    const std::string &slave() const { return device; }

    // Its answer to one control command: the lines before its "ok" and the
    // "ok", or its error line.
    std::string command(const std::string &line)
    {
        std::string answer;
        if (launcher({"send", folder, line}, &answer) == 0)
            answer += "ok";
        while (!answer.empty() && answer.back() == '\n')
            answer.pop_back();
        return answer;
    }

    bool running() const { return pid > 0 && kill(pid, 0) == 0; }

    // Its exit status once it ended by itself, -1 if it did not.
    int waitExit()
    {
        std::string ignored;
        const int status = launcher({"wait", folder}, &ignored);
        return status == 124 ? -1 : status;
    }

    // Its exit status once the launcher stopped it.
    int terminate()
    {
        std::string ignored;
        const int status = launcher({"stop", folder}, &ignored);
        return status == 124 ? -1 : status;
    }

private:
    std::string folder;
    std::string device;
    pid_t pid = -1;
};

// linksim itself as a child of this process, its stdin and stdout on pipes:
// for the tests of its own command line (options, the foreground control
// channel, signals, --background).
class LinksimChild : public SimulatorLog {
public:
    explicit LinksimChild(std::vector<std::string> args, bool withLog = true)
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

    ~LinksimChild()
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
    LinksimChild(const LinksimChild &) = delete;
    LinksimChild &operator=(const LinksimChild &) = delete;

    // First stdout line: the name to open, the slave device or
    // socket://HOST:PORT.
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

private:
    pid_t pid = -1;
    int stdinFd = -1;
    int stdoutFd = -1;
    int status = 0;
    bool reaped = false;
    std::string tempDir;
    std::string slavePath;
    std::string stdoutBuffer;
};

// A new client on TCP, once the simulator listens again after the last one
// left (it stops listening while a client is connected).
std::unique_ptr<Port> nextClient(const std::string &name)
{
    const std::int64_t deadline = monotonicNanos() + millisToNanos(1000);
    for (;;) {
        auto port = std::make_unique<Port>(name);
        if (port->ok() || port->openError() != ECONNREFUSED || monotonicNanos() > deadline)
            return port;
        sleepMillis(5);
    }
}

// Runs linksim to completion and returns its exit code; stdout in *out.
int runToExit(const std::vector<std::string> &args, std::string *out)
{
    LinksimChild simulator(args, false);
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
    EXPECT_NE(out.find("--listen [ADDR:]PORT"), std::string::npos);
    EXPECT_NE(out.find("--link NAME"), std::string::npos);

    for (const auto &args : std::vector<std::vector<std::string>>{{"--frobnicate"},
                                                                  {"--period", "0"},
                                                                  {"--period", "12x"},
                                                                  {"--period"},
                                                                  {"--fault", "melt"},
                                                                  {"--programs", "a,,b"},
                                                                  {"--programs", "a,sixteen_chars_xx"},
                                                                  {"--hangup-after", "-1"},
                                                                  {"--control=yes"},
                                                                  {"--listen"},
                                                                  {"--listen", "65536"},
                                                                  {"--listen", "127.0.0.1:"},
                                                                  {"--listen", "::1:5000"},
                                                                  {"--listen", "[::1]"},
                                                                  {"--listen", "localhost:5000"},
                                                                  {"--listen", "256.0.0.1:5000"},
                                                                  {"--link", "wifi"},
                                                                  {"--baud", "49"},
                                                                  {"--baud", "4000001"},
                                                                  {"--latency-timer", "0"},
                                                                  {"--latency-timer", "256"},
                                                                  {"--packets", "0-4"},
                                                                  {"--packets", "5-3"},
                                                                  {"--packets", "4-"},
                                                                  {"--packets", "4097"},
                                                                  {"--latency", "-1"},
                                                                  {"--jitter", "0-10001"},
                                                                  {"--seed", "-1"},
                                                                  {"--seed", "7x"},
                                                                  {"--packets", "8", "--latency-timer", "16"},
                                                                  {"--link", "usb", "--packets", "8-32"},
                                                                  {"--latency", "20"},
                                                                  {"--link", "cable", "--jitter", "5"}}) {
        EXPECT_EQ(runToExit(args, &out), 2) << args[0] << " " << args.back();
        EXPECT_EQ(out, "") << "usage errors must not reach stdout";
    }
}

TEST(LinksimOptions, SignalsEndTheSimulatorCleanly)
{
    for (int signalNumber : {SIGTERM, SIGINT}) {
        LinksimChild simulator({"--autostart", "drive", "--period", "5"});
        ASSERT_EQ(simulator.slave().rfind("/dev/pts/", 0), 0u) << simulator.slave();
        EXPECT_TRUE(simulator.waitCount("frame ", 2)) << "serving before the signal";
        EXPECT_EQ(simulator.terminate(signalNumber), 0) << strsignal(signalNumber);
    }
}

// What holds on a pseudo-terminal holds on TCP (--listen) alike: the tests
// of this fixture run on both.
enum class LineKind { pty, tcp };

void PrintTo(LineKind kind, std::ostream *out) { *out << (kind == LineKind::pty ? "pty" : "tcp"); }

class LinksimOnEachLine : public ::testing::TestWithParam<LineKind> {
protected:
    // The arguments, with the line of this run.
    std::vector<std::string> on(std::vector<std::string> args) const
    {
        if (GetParam() == LineKind::tcp)
            args.insert(args.begin(), {"--listen", "0"});
        return args;
    }

    void fillTheLine(std::vector<std::string> link);
};

INSTANTIATE_TEST_SUITE_P(Lines, LinksimOnEachLine, ::testing::Values(LineKind::pty, LineKind::tcp),
                         [](const ::testing::TestParamInfo<LineKind> &info) {
                             return info.param == LineKind::pty ? "pty" : "tcp";
                         });

// The log but for the lines of TCP clients coming and going.
std::vector<std::string> withoutClients(std::vector<std::string> lines)
{
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const std::string &line) { return line.rfind("client ", 0) == 0; }),
                lines.end());
    return lines;
}

// -------------------------------------------------------------- telegrams

TEST_P(LinksimOnEachLine, StartStopAndProgramNamesAreLogged)
{
    SimulatorProcess simulator(on({"--period", "60000"}));
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok()) << simulator.slave();

    port.send(startTelegram("drive"));
    port.send(startTelegram(std::string("a\x01\xffz", 4)));
    port.send(startTelegram(""));
    port.send(startTelegram("abcdefghijklmno")); // longest name
    port.send(stopTelegram());
    port.send(stopTelegram()); // stop without a running program
    ASSERT_TRUE(simulator.waitCount("stop", 2));
    EXPECT_EQ(withoutClients(simulator.log()), (std::vector<std::string>{
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
    SimulatorProcess simulator({"--period", "60000"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    port.send(concat(startTelegram("idle"), stopTelegram()));
    port.send({0xff, 0xfe});
    ASSERT_TRUE(simulator.waitLog("bad telegram: ff fe"));
    EXPECT_EQ(simulator.command("stats"), "frames 0 telegrams 2\nok");
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

// Every frame on the line is the encoder's (decodeFrame), so the encoder's
// bytes are the wire format: angles folded into 16 bits (-1 -> 65534,
// -32767 -> 32768, never 65535) and clamped to +-32767.
TEST(LinksimFrames, EncodingIsByteExactAndDecodesBack)
{
    const linksim::FrameData data{{1, 0x0203, 255, 7800}, {-1, -40000, 40000}};
    Bytes bytes(frameLength);
    linksim::encodeFrame(data, bytes.data());
    EXPECT_EQ(bytes, (Bytes{0x15, 0x00, 0xa5, 0x01, 0x00, 0x03, 0x02, 0xff, 0x00, 0x78, 0x1e, 0xfe,
                            0xff, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0xff, 0x7f, 0x00, 0x00}));
    Frame frame{};
    ASSERT_TRUE(decodeFrame(bytes, 0, &frame));
    EXPECT_EQ(std::vector<int>(frame.angles, frame.angles + 3), (std::vector<int>{-1, -32767, 32767}));
}

TEST_P(LinksimOnEachLine, FramesDecodeAndMatchTheLog)
{
    SimulatorProcess simulator(on({"--period", "20"}));
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

TEST_P(LinksimOnEachLine, HangupAfterFramesDropsTheLine)
{
    SimulatorProcess simulator(on({"--hangup-after", "2", "--period", "10"}));
    // On TCP the next client gets its own two frames.
    for (int client = 0; client < (GetParam() == LineKind::tcp ? 2 : 1); ++client) {
        auto port = nextClient(simulator.slave());
        ASSERT_TRUE(port->ok()) << "client " << client;
        port->send(startTelegram("drive"));
        Frame frame{};
        ASSERT_TRUE(port->readFrame(&frame));
        ASSERT_TRUE(port->readFrame(&frame));
        EXPECT_EQ(frame.values[0], 2);
        EXPECT_TRUE(lineDropped(*port, 1000)) << "client " << client;
        EXPECT_TRUE(simulator.waitCount("hangup", client + 1));
    }
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

TEST_P(LinksimOnEachLine, ControlSendFrameHangupAndQuit)
{
    SimulatorProcess simulator(on({"--period", "60000"}));
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

    EXPECT_EQ(simulator.command("stats"), "frames 1 telegrams 0\nok");
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
    LinksimChild simulator({"--control"});
    ASSERT_EQ(simulator.slave().rfind("/dev/pts/", 0), 0u);
    simulator.closeStdin();
    EXPECT_EQ(simulator.waitExit(), 0);
}

TEST_P(LinksimOnEachLine, FullLineDropsFramesWithoutTearing)
{
    // The ideal line, and a fast one through an adapter: output the link
    // still carries is no full line, output due and not taken is.
    for (const auto &link : std::vector<std::vector<std::string>>{{}, {"--baud", "4000000", "--latency-timer", "1"}})
        ASSERT_NO_FATAL_FAILURE(fillTheLine(link));
}

void LinksimOnEachLine::fillTheLine(std::vector<std::string> link)
{
    link.insert(link.end(), {"--period", "60000"});
    SimulatorProcess simulator(on(link));
    // On TCP the client's receive buffer is kept small, so that it fills.
    Port port(simulator.slave(), 4096);
    ASSERT_TRUE(port.ok());

    // Far more than the line buffers while nobody reads, in sends of 16 KiB
    // (a command is one argument of the launcher, which has a size limit).
    Bytes pattern(64 * 1024);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<uint8_t>(i * 7 + i / 256);
    for (size_t at = 0; at < pattern.size(); at += 16 * 1024) {
        const Bytes piece(pattern.begin() + static_cast<long>(at), pattern.begin() + static_cast<long>(at + 16 * 1024));
        EXPECT_EQ(simulator.command("send " + hex(piece)), "ok");
    }
    // Through the adapter the bytes fall due as the link carries them (64 KiB
    // at 4 Mbaud: 164 ms); sent faster than that, the line is not full yet.
    sleepMillis(300);
    EXPECT_EQ(simulator.command("frame"), "error line full");
    EXPECT_TRUE(simulator.waitLog("dropped 1"));

    EXPECT_EQ(port.readCount(pattern.size(), 1500), pattern) << "queued bytes arrive complete and in order";
    EXPECT_EQ(simulator.command("frame"), "ok");
    Frame frame{};
    ASSERT_TRUE(port.readFrame(&frame));
    EXPECT_EQ(frame.values[0], 2) << "the dropped frame leaves a gap in the sequence";
    EXPECT_EQ(simulator.command("stats"), "frames 1 telegrams 0\nok");
}

// ------------------------------------------------------------------ links

// The wall clock in seconds, as the log's t= stamps give it.
double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// The t= stamp of the first log line that starts with `prefix`; 0 if none.
double stampOf(const SimulatorLog &simulator, const std::string &prefix)
{
    for (const std::string &line : simulator.log()) {
        const std::size_t t = line.rfind(" t=");
        if (line.rfind(prefix, 0) == 0 && t != std::string::npos)
            return std::stod(line.substr(t + 3));
    }
    return 0;
}

// What one read returned, and when (wall clock, seconds).
struct Arrival {
    double at;
    std::size_t bytes;
};

// Reads until `count` bytes arrived or `timeoutMs` passed, noting each read.
std::vector<Arrival> arrivals(Port &port, std::size_t count, int timeoutMs, Bytes *all = nullptr)
{
    std::vector<Arrival> got;
    std::size_t total = 0;
    const std::int64_t deadline = monotonicNanos() + millisToNanos(timeoutMs);
    while (total < count && monotonicNanos() < deadline) {
        const Bytes b = port.readSome(std::max(1, millisUntil(monotonicNanos(), deadline)));
        if (b.empty())
            continue;
        got.push_back(Arrival{wallSeconds(), b.size()});
        total += b.size();
        if (all)
            all->insert(all->end(), b.begin(), b.end());
    }
    return got;
}

// Times in these tests are the simulator's wake-ups and the client's reads
// on a machine that runs other work: allowed this much late, in ms.
constexpr double lateMs = 6;

TEST(LinksimLinks, BytesArePacedAtTheBaudRate)
{
    // At 2400 baud a byte takes 4.17 ms: a frame is on the line for 96 ms.
    SimulatorProcess simulator({"--baud", "2400", "--log-times", "--period", "60000"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    ASSERT_EQ(simulator.command("frame"), "ok");
    const auto got = arrivals(port, frameLength, 2000);
    ASSERT_FALSE(got.empty());
    const double byteMs = 10.0 / 2400 * 1000;
    // Measured from the frame's stamp: a first read woken late would cut a
    // span measured from it short.
    EXPECT_GE(got.size(), frameLength / 2) << "the bytes come one by one, not at once";
    ASSERT_TRUE(simulator.waitCount("sent 1 t=", 1));
    const double spanMs = (got.back().at - stampOf(simulator, "frame 1 ")) * 1000;
    EXPECT_GT(spanMs, frameLength * byteMs - 1);
    EXPECT_LT(spanMs, frameLength * byteMs + lateMs);
    const double sentMs = (stampOf(simulator, "sent 1 ") - stampOf(simulator, "frame 1 ")) * 1000;
    EXPECT_GT(sentMs, frameLength * byteMs - 1) << "the log's sent line: when the last byte went out";
    EXPECT_LT(sentMs, frameLength * byteMs + lateMs);
    EXPECT_LT(std::abs(stampOf(simulator, "sent 1 ") - got.back().at) * 1000, lateMs);

    // At 115200 baud the bytes are 0.09 ms apart, closer than any read
    // time-out can tell: the frame goes at once, when its last byte would.
    SimulatorProcess cable({"--link", "cable", "--log-times", "--period", "60000"});
    Port cablePort(cable.slave());
    ASSERT_TRUE(cablePort.ok());
    ASSERT_EQ(cable.command("frame"), "ok");
    EXPECT_EQ(arrivals(cablePort, frameLength, 2000).size(), 1u);
    ASSERT_TRUE(cable.waitCount("sent 1 t=", 1));
    const double cableMs = (stampOf(cable, "sent 1 ") - stampOf(cable, "frame 1 ")) * 1000;
    EXPECT_GT(cableMs, frameLength * 10.0 / 115200 * 1000 - 0.5);
    EXPECT_LT(cableMs, frameLength * 10.0 / 115200 * 1000 + lateMs);
}

TEST(LinksimLinks, AnAdapterHandsOverAtEachFiringWhatReachedItSince)
{
    // The link's own arithmetic, free of any process's wake-ups: at 9600
    // baud a frame is on the line for 24 ms, so it straddles the 16 ms
    // timer and goes in two or three pieces, each due at a firing.
    linksim::LinkSettings settings;
    settings.baud = 9600;
    settings.latencyTimerMs = 16;
    settings.seed = 3;
    const linksim::Instant begin = linksim::Clock::now();
    linksim::Link link = linksim::startLink(settings, begin);
    const std::chrono::nanoseconds timer = std::chrono::milliseconds(16), byte(10'000'000'000 / 9600);
    std::deque<linksim::Piece> queue;
    Bytes all, frame(frameLength);
    for (int k = 0; k < 6; ++k) {
        for (std::size_t i = 0; i < frameLength; ++i)
            frame[i] = static_cast<std::uint8_t>(k * frameLength + i);
        const linksim::Instant written = begin + std::chrono::milliseconds(70 * k);
        const std::size_t before = queue.size();
        linksim::scheduleOutput(&link, frame.data(), frameLength, written, &queue);
        EXPECT_GE(queue.size() - before, 2u);
        EXPECT_LE(queue.size() - before, 3u);
        std::size_t index = 0; // of the frame's byte, from 0
        for (std::size_t p = before; p < queue.size(); ++p) {
            const linksim::Piece &piece = queue[p];
            EXPECT_EQ((piece.due - link.tickOrigin) % timer, std::chrono::nanoseconds(0)) << "on a firing";
            const linksim::Instant firstSent = written + static_cast<long>(index + 1) * byte;
            const linksim::Instant lastSent = written + static_cast<long>(index + piece.bytes.size()) * byte;
            EXPECT_GT(firstSent, piece.due - timer) << "not held past a firing";
            EXPECT_LE(lastSent, piece.due) << "not handed over before it arrived";
            index += piece.bytes.size();
            all.insert(all.end(), piece.bytes.begin(), piece.bytes.end());
        }
    }
    ASSERT_EQ(all.size(), 6 * frameLength);
    for (std::size_t i = 0; i < all.size(); ++i)
        ASSERT_EQ(all[i], static_cast<std::uint8_t>(i)) << "every byte once, in order";
}

TEST(LinksimLinks, AnAdapterHandsBytesOverWhenItsTimerFires)
{
    // The same through the simulator and a pty. A process woken late on a
    // busy machine (the simulator or this reader) may join two pieces or
    // deliver one late, so the timing is judged on most pieces, not all.
    SimulatorProcess simulator({"--baud", "9600", "--latency-timer", "16", "--autostart", "drive", "--period", "70"});
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok());
    Bytes all;
    const auto got = arrivals(port, 6 * frameLength, 2000, &all);
    ASSERT_EQ(all.size(), 6 * frameLength);
    EXPECT_GT(got.size(), 6u) << "frames arrive cut";
    EXPECT_LE(got.size(), 18u) << "in pieces a firing apart, not byte by byte";
    // The firings' phase is the one that puts most pieces on them.
    std::size_t onTimer = 0;
    for (const Arrival &reference : got) {
        std::size_t fits = 0;
        for (const Arrival &piece : got)
            fits += piece.bytes <= 17 && std::abs(std::remainder((piece.at - reference.at) * 1000, 16.0)) < lateMs;
        onTimer = std::max(onTimer, fits);
    }
    EXPECT_GE(4 * onTimer, 3 * got.size()) << onTimer << " of " << got.size() << " pieces on the 16 ms timer";
    for (std::size_t k = 0; k < 6; ++k) {
        Frame frame{};
        ASSERT_TRUE(decodeFrame(all, k * frameLength, &frame)) << "frame " << k;
        EXPECT_EQ(frame.values[0], k + 1);
    }
}

TEST(LinksimLinks, PacketsOfTheirSizesComeLateWithinTheirRangesAndRepeatably)
{
    // At 1200 baud a byte takes 8.3 ms: packets of 3 to 5 bytes leave the
    // UART 25 ms apart or more, more than the jitter, so each arrives alone.
    const double byteMs = 10.0 / 1200 * 1000;
    std::vector<std::string> links;
    std::vector<std::vector<std::size_t>> sizes;
    for (const char *seed : {"11", "11", "12"}) {
        SimulatorProcess simulator({"--baud", "1200", "--packets", "3-5", "--latency", "30-60", "--jitter", "0-10",
                                    "--seed", seed, "--log-times", "--period", "60000"});
        Port port(simulator.slave());
        ASSERT_TRUE(port.ok());
        ASSERT_EQ(simulator.command("frame"), "ok");
        const auto got = arrivals(port, frameLength, 3000);
        std::smatch drawn;
        const std::string link = simulator.log().at(0);
        ASSERT_TRUE(std::regex_match(link, drawn,
                                     std::regex("link: 1200 baud, packets of 3 to 5 bytes, latency ([0-9.]+) ms \\(30 "
                                                "to 60\\), jitter 0 to 10 ms, seed [0-9]+")))
            << link;
        const double latencyMs = std::stod(drawn[1]);
        EXPECT_GE(latencyMs, 30);
        EXPECT_LE(latencyMs, 60);
        const double handed = stampOf(simulator, "frame 1 ");
        std::size_t end = 0, onTime = 0;
        std::vector<std::size_t> run;
        for (const Arrival &packet : got) {
            end += packet.bytes;
            run.push_back(packet.bytes);
            EXPECT_LE(packet.bytes, 5u);
            if (end < frameLength) {
                EXPECT_GE(packet.bytes, 3u) << "only the frame's last packet goes before it is full";
            }
            const double delayMs = (packet.at - handed) * 1000 - end * byteMs;
            EXPECT_GT(delayMs, latencyMs - 1) << "packet " << run.size();
            onTime += delayMs < latencyMs + 10 + lateMs;
        }
        EXPECT_EQ(end, frameLength);
        // A late wake-up on a busy machine delays a packet; never most.
        EXPECT_GE(4 * onTime, 3 * run.size()) << onTime << " of " << run.size() << " packets within the jitter";
        links.push_back(link);
        sizes.push_back(run);
    }
    EXPECT_EQ(links[0], links[1]) << "one seed, one latency";
    EXPECT_EQ(sizes[0], sizes[1]) << "one seed, one cut of the frame";
    EXPECT_NE(sizes[0], sizes[2]);
    EXPECT_NE(links[0], links[2]);
}

TEST_P(LinksimOnEachLine, LinkPresetsDeliverWholeFramesAndSayWhenTheyWent)
{
    for (const std::string preset : {"cable", "usb", "bluetooth"}) {
        SimulatorProcess simulator(on({"--link", preset, "--seed", "5", "--autostart", "drive", "--period", "40"}));
        auto port = nextClient(simulator.slave());
        ASSERT_TRUE(port->ok()) << preset;
        Frame frame{};
        ASSERT_TRUE(port->readFrame(&frame)) << preset;
        const int first = frame.values[0];
        for (int k = 1; k < 4; ++k) {
            ASSERT_TRUE(port->readFrame(&frame)) << preset;
            EXPECT_EQ(frame.values[0], first + k) << preset;
        }
        EXPECT_EQ(simulator.log().at(0).rfind("link " + preset + ": 115200 baud", 0), 0u) << simulator.log().at(0);
        EXPECT_TRUE(simulator.waitLog("sent " + std::to_string(first + 3))) << preset;
    }
}

// -------------------------------------------------------------------- TCP

TEST(LinksimTcp, OneClientAtATimeTheNextOnceItLeft)
{
    SimulatorProcess simulator({"--listen", "0", "--period", "60000"});
    const std::string name = simulator.slave();
    std::smatch port;
    ASSERT_TRUE(std::regex_match(name, port, std::regex("socket://127\\.0\\.0\\.1:([1-9][0-9]*)"))) << name;
    std::string out;
    EXPECT_EQ(runToExit({"--listen", port[1]}, &out), 1) << "a second simulator finds the port taken";
    std::string firstAddress;
    {
        Port first(name);
        ASSERT_TRUE(first.ok()) << std::strerror(first.openError());
        firstAddress = first.localAddress();
        first.send(startTelegram("idle"));
        ASSERT_TRUE(simulator.waitLog("program idle running"));
        Port second(name);
        EXPECT_EQ(second.openError(), ECONNREFUSED) << "refused at once while one is connected";
        EXPECT_EQ(simulator.command("winsize"), "error winsize needs a terminal: the line is a TCP connection");
        EXPECT_EQ(simulator.command("exclusive on"), "error exclusive needs a terminal: the line is a TCP connection");
    }
    ASSERT_TRUE(simulator.waitLog("client closed the connection"));
    auto next = nextClient(name);
    ASSERT_TRUE(next->ok()) << "served once the first left: " << std::strerror(next->openError());
    next->send(stopTelegram());
    ASSERT_TRUE(simulator.waitLog("stop"));
    EXPECT_EQ(simulator.log(), (std::vector<std::string>{
                                   "client " + firstAddress + " connected",
                                   "start \"idle\"",
                                   "program idle running",
                                   "client closed the connection",
                                   "client " + next->localAddress() + " connected",
                                   "stop",
                               }));
}

TEST(LinksimTcp, AClientThatResetsIsLoggedAndEachClientStartsAfresh)
{
    SimulatorProcess simulator({"--listen", "0", "--autostart", "drive", "--period", "10"});
    for (int client = 0; client < 2; ++client) {
        auto port = nextClient(simulator.slave());
        ASSERT_TRUE(port->ok()) << "client " << client;
        Frame frame{};
        ASSERT_TRUE(port->readFrame(&frame)) << "--autostart starts the program for each client";
        EXPECT_EQ(frame.values[0], 1) << "client " << client;
        port->reset();
        ASSERT_TRUE(simulator.waitCount("client reset the connection", client + 1)) << "client " << client;
    }
    EXPECT_EQ(simulator.countLog("program drive running"), 2);
    EXPECT_EQ(simulator.countLog("line error"), 0);
}

// ------------------------------------------------------------- background

// The launcher leaves the serving child behind as an orphan; as a subreaper
// this process gets it, so its exit status can be checked like any child's.
class LinksimBackground : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0) << std::strerror(errno); }
    void TearDown() override { prctl(PR_SET_CHILD_SUBREAPER, 0); }

    // The launcher's part: the one line "NAME PID" (NAME as `name` matches
    // it), then exit 0. From here on *simulator stands for the serving child.
    static void followLauncher(LinksimChild *simulator, const std::string &name = "/dev/pts/[0-9]+")
    {
        const std::string line = simulator->readLine(2000);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, std::regex("(" + name + ") ([1-9][0-9]*)"))) << line;
        const int launcherExit = simulator->waitExit();
        const pid_t child = static_cast<pid_t>(std::stol(match[2]));
        simulator->follow(child, match[1]);
        ASSERT_EQ(launcherExit, 0) << "the launcher exits once the child serves";
        EXPECT_EQ(getsid(child), child) << "the child leads a session of its own";
    }
};

TEST_F(LinksimBackground, ServesInItsOwnSessionUntilTerminated)
{
    LinksimChild simulator({"--background", "--period", "60000"});
    ASSERT_NO_FATAL_FAILURE(followLauncher(&simulator));
    EXPECT_EQ(simulator.readLine(1000), "<eof>") << "without --control the child lets go of stdout";
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok()) << simulator.slave();
    port.send(startTelegram("drive"));
    EXPECT_TRUE(simulator.waitLog("program drive running"));
    EXPECT_EQ(simulator.terminate(), 0);
}

TEST_F(LinksimBackground, ServesTcp)
{
    LinksimChild simulator({"--background", "--listen", "0", "--period", "60000"});
    ASSERT_NO_FATAL_FAILURE(followLauncher(&simulator, "socket://127\\.0\\.0\\.1:[1-9][0-9]*"));
    Port port(simulator.slave());
    ASSERT_TRUE(port.ok()) << simulator.slave() << ": " << std::strerror(port.openError());
    port.send(startTelegram("drive"));
    EXPECT_TRUE(simulator.waitLog("program drive running"));
    EXPECT_EQ(simulator.terminate(), 0);
}

TEST_F(LinksimBackground, ControlCommandsOverTheInheritedPipes)
{
    LinksimChild simulator({"--background", "--control", "--period", "60000"});
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
