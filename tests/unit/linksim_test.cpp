// Drives the real linksim process over a real pseudo-terminal, the way the
// MEX client talks to the controller.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef LINKSIM_PATH
#error "LINKSIM_PATH must name the linksim executable"
#endif

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr size_t kFrameLen = 23;

int ms_left(Clock::time_point deadline)
{
    const auto d = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max<int>(0, static_cast<int>(d.count()));
}

Clock::time_point after_ms(int ms)
{
    return Clock::now() + std::chrono::milliseconds(ms);
}

void sleep_ms(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string hex(const Bytes& b)
{
    std::string s;
    char tmp[4];
    for (size_t i = 0; i < b.size(); ++i) {
        std::snprintf(tmp, sizeof tmp, i ? " %02x" : "%02x", b[i]);
        s += tmp;
    }
    return s;
}

Bytes start_telegram(const std::string& name)
{
    Bytes t{static_cast<uint8_t>(name.size() + 3), 0x00, 0x80, 0x00};
    t.insert(t.end(), name.begin(), name.end());
    t.push_back(0x00);
    return t;
}

Bytes stop_telegram()
{
    return {0x02, 0x00, 0x80, 0x01};
}

Bytes mailbox_telegram(int a, int b, int c)
{
    char text[16];
    std::snprintf(text, sizeof text, "%03d%03d%03d", a, b, c);
    Bytes t{0x0e, 0x00, 0x80, 0x09, 0x01, 0x0a};
    t.insert(t.end(), text, text + 9);
    t.push_back(0x00);
    return t;
}

Bytes concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What the client decodes from a status frame.
struct Frame {
    uint16_t v[4];
    uint32_t raw[3];
    int angle[3];
};

bool decode_frame(const Bytes& b, size_t off, Frame* f)
{
    if (b.size() < off + kFrameLen) return false;
    const uint8_t* p = b.data() + off;
    if (p[0] != 0x15 || p[1] != 0x00 || p[2] != 0xa5) return false;
    for (int i = 0; i < 4; ++i) f->v[i] = static_cast<uint16_t>(p[3 + 2 * i] | p[4 + 2 * i] << 8);
    for (int i = 0; i < 3; ++i) {
        const uint8_t* q = p + 11 + 4 * i;
        f->raw[i] = static_cast<uint32_t>(q[0]) | static_cast<uint32_t>(q[1]) << 8 |
                    static_cast<uint32_t>(q[2]) << 16 | static_cast<uint32_t>(q[3]) << 24;
        f->angle[i] = f->raw[i] > 32767 ? static_cast<int>(f->raw[i]) - 65535 : static_cast<int>(f->raw[i]);
    }
    return true;
}

std::string frame_log_line(const Frame& f)
{
    std::ostringstream s;
    s << "frame " << f.v[0];
    for (uint16_t v : f.v) s << ' ' << v;
    for (int a : f.angle) s << ' ' << a;
    return s.str();
}

// The client end of the line: raw mode, non-blocking, advisory lock and
// exclusive mode, like the real port code.
class Port {
public:
    explicit Port(const std::string& path)
    {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
        flock(fd_, LOCK_EX | LOCK_NB);
        ioctl(fd_, TIOCEXCL);
    }
    ~Port() { close_port(); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    void close_port()
    {
        if (fd_ < 0) return;
        ioctl(fd_, TIOCNXCL);
        close(fd_);
        fd_ = -1;
    }

    void flush_input() { tcflush(fd_, TCIFLUSH); }

    bool send(const Bytes& b)
    {
        return write(fd_, b.data(), b.size()) == static_cast<ssize_t>(b.size());
    }

    // Reads until n bytes arrived, the deadline passed or the line dropped.
    Bytes read_n(size_t n, int timeout_ms)
    {
        Bytes out;
        const auto deadline = after_ms(timeout_ms);
        while (out.size() < n) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, ms_left(deadline)) <= 0) break;
            uint8_t buf[4096];
            const ssize_t r = read(fd_, buf, std::min(sizeof buf, n - out.size()));
            if (r <= 0) {
                if (r < 0 && errno == EAGAIN) continue;
                break;
            }
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }

    // Whatever one read returns once input is there; empty on time-out.
    Bytes read_some(int timeout_ms)
    {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0) return {};
        uint8_t buf[4096];
        const ssize_t r = read(fd_, buf, sizeof buf);
        return r > 0 ? Bytes(buf, buf + r) : Bytes{};
    }

    // Everything that arrives until the line stays quiet for quiet_ms.
    Bytes drain(int quiet_ms)
    {
        Bytes out;
        for (;;) {
            Bytes b = read_n(65536, quiet_ms);
            if (b.empty()) return out;
            out.insert(out.end(), b.begin(), b.end());
        }
    }

    bool read_frame(Frame* f, int timeout_ms = 1000)
    {
        const Bytes b = read_n(kFrameLen, timeout_ms);
        return decode_frame(b, 0, f);
    }

private:
    int fd_ = -1;
};

// A linksim child process with its stdin/stdout on pipes and a private log.
class Sim {
public:
    explicit Sim(std::vector<std::string> args, bool with_log = true)
    {
        char dir[] = "/tmp/linksim-test-XXXXXX";
        if (mkdtemp(dir)) dir_ = dir;
        if (with_log) {
            log_path_ = dir_ + "/sim.log";
            args.insert(args.begin(), {"--log", log_path_});
        }
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            std::vector<char*> argv;
            std::string exe = LINKSIM_PATH;
            argv.push_back(exe.data());
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(exe.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        in_ = in[1];
        out_ = out[0];
        signal(SIGPIPE, SIG_IGN);
    }

    ~Sim()
    {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close_stdin();
        if (out_ >= 0) close(out_);
        if (!log_path_.empty()) unlink(log_path_.c_str());
        if (!dir_.empty()) rmdir(dir_.c_str());
    }
    Sim(const Sim&) = delete;
    Sim& operator=(const Sim&) = delete;

    // First stdout line: the slave device.
    std::string slave()
    {
        if (slave_.empty()) slave_ = read_line(2000);
        return slave_;
    }

    std::string read_line(int timeout_ms)
    {
        const auto deadline = after_ms(timeout_ms);
        for (;;) {
            const size_t nl = out_buf_.find('\n');
            if (nl != std::string::npos) {
                std::string line = out_buf_.substr(0, nl);
                out_buf_.erase(0, nl + 1);
                return line;
            }
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, ms_left(deadline)) <= 0) return "<timeout>";
            char buf[4096];
            const ssize_t n = read(out_, buf, sizeof buf);
            if (n <= 0) return "<eof>";
            out_buf_.append(buf, static_cast<size_t>(n));
        }
    }

    std::string command(const std::string& line)
    {
        const std::string text = line + "\n";
        size_t pos = 0;
        while (pos < text.size()) {
            const ssize_t n = write(in_, text.data() + pos, text.size() - pos);
            if (n <= 0) return "<write failed>";
            pos += static_cast<size_t>(n);
        }
        return read_line(2000);
    }

    void close_stdin()
    {
        if (in_ >= 0) close(in_);
        in_ = -1;
    }

    bool running()
    {
        return !reaped_ && waitpid(pid_, &status_, WNOHANG) == 0;
    }

    // Exit code, or -1 if it did not exit normally in time.
    int wait_exit(int timeout_ms = 1500)
    {
        const auto deadline = after_ms(timeout_ms);
        while (!reaped_) {
            const pid_t r = waitpid(pid_, &status_, WNOHANG);
            if (r == pid_) reaped_ = true;
            else if (Clock::now() > deadline) return -1;
            else sleep_ms(5);
        }
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

    int terminate(int sig = SIGTERM)
    {
        kill(pid_, sig);
        return wait_exit();
    }

    std::vector<std::string> log() const
    {
        std::vector<std::string> lines;
        std::ifstream f(log_path_);
        std::string line;
        while (std::getline(f, line)) lines.push_back(line);
        return lines;
    }

    bool wait_log(const std::string& line, int timeout_ms = 1000) const
    {
        const auto deadline = after_ms(timeout_ms);
        do {
            const auto lines = log();
            if (std::find(lines.begin(), lines.end(), line) != lines.end()) return true;
            sleep_ms(5);
        } while (Clock::now() < deadline);
        return false;
    }

    int count_log(const std::string& prefix) const
    {
        const auto lines = log();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.rfind(prefix, 0) == 0;
        }));
    }

    bool wait_count(const std::string& prefix, int n, int timeout_ms = 1000) const
    {
        const auto deadline = after_ms(timeout_ms);
        while (count_log(prefix) < n) {
            if (Clock::now() > deadline) return false;
            sleep_ms(5);
        }
        return true;
    }

    // Log lines following the first occurrence of `line`.
    std::vector<std::string> log_after(const std::string& line) const
    {
        auto lines = log();
        auto it = std::find(lines.begin(), lines.end(), line);
        if (it == lines.end()) return {};
        return {it + 1, lines.end()};
    }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    int status_ = 0;
    bool reaped_ = false;
    std::string dir_;
    std::string log_path_;
    std::string slave_;
    std::string out_buf_;
};

// Runs linksim to completion and returns its exit code; stdout in *out.
int run_to_exit(const std::vector<std::string>& args, std::string* out)
{
    Sim sim(args, false);
    sim.close_stdin();
    out->clear();
    for (;;) {
        const std::string line = sim.read_line(1500);
        if (line == "<eof>" || line == "<timeout>") break;
        *out += line + "\n";
    }
    return sim.wait_exit();
}

// ---------------------------------------------------------------- options

TEST(LinksimOptions, HelpAndRejectedArguments)
{
    std::string out;
    EXPECT_EQ(run_to_exit({"--help"}, &out), 0);
    EXPECT_NE(out.find("usage: linksim"), std::string::npos);
    EXPECT_NE(out.find("--hangup-after"), std::string::npos);

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--frobnicate"}, {"--period", "0"}, {"--period", "12x"}, {"--period"},
             {"--fault", "melt"}, {"--programs", "a,,b"}, {"--programs", "a,sixteen_chars_xx"},
             {"--hangup-after", "-1"}, {"--control=yes"}}) {
        EXPECT_EQ(run_to_exit(args, &out), 2) << args[0];
        EXPECT_EQ(out, "") << "usage errors must not reach stdout";
    }
}

TEST(LinksimOptions, SignalsEndTheSimulatorCleanly)
{
    for (int sig : {SIGTERM, SIGINT}) {
        Sim sim({"--autostart", "drive", "--period", "5"});
        ASSERT_EQ(sim.slave().rfind("/dev/pts/", 0), 0u) << sim.slave();
        EXPECT_TRUE(sim.wait_count("frame ", 2)) << "serving before the signal";
        EXPECT_EQ(sim.terminate(sig), 0) << strsignal(sig);
    }
}

// -------------------------------------------------------------- telegrams

TEST(LinksimTelegrams, StartStopAndProgramNamesAreLogged)
{
    Sim sim({"--period", "60000"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok()) << sim.slave();

    port.send(start_telegram("drive"));
    port.send(start_telegram(std::string("a\x01\xffz", 4)));
    port.send(start_telegram(""));
    port.send(start_telegram("abcdefghijklmno"));  // longest name
    port.send(stop_telegram());
    port.send(stop_telegram());  // stop without a running program
    ASSERT_TRUE(sim.wait_count("stop", 2));
    EXPECT_EQ(sim.log(), (std::vector<std::string>{
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
    Sim sim({"--control", "--period", "60000"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());
    port.send(concat(start_telegram("idle"), stop_telegram()));
    port.send({0xff, 0xfe});
    ASSERT_TRUE(sim.wait_log("bad telegram: ff fe"));
    EXPECT_EQ(sim.command("stats"), "frames 0 telegrams 2");
    EXPECT_EQ(sim.read_line(1000), "ok");
}

TEST(LinksimTelegrams, SplitMergedAndMalformedInput)
{
    Sim sim({"--period", "60000"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());

    // One byte at a time, well inside the fragment time-out.
    for (uint8_t b : start_telegram("idle")) {
        port.send({b});
        sleep_ms(5);
    }
    ASSERT_TRUE(sim.wait_log("program idle running"));

    const Bytes bad_mailbox_number{0x0e, 0x00, 0x80, 0x09, 0x02, 0x0a, '1', '0', '0', '1', '0', '0', '1', '0', '0', 0x00};
    const Bytes letter_in_field{0x0e, 0x00, 0x80, 0x09, 0x01, 0x0a, '1', '0', '0', '1', 'x', '0', '1', '0', '0', 0x00};
    const Bytes long_name = start_telegram("abcdefghijklmnop");  // 16 bytes: too long
    const Bytes truncated_start{0x08, 0x00, 0x80, 0x00, 'd', 'r'};
    const Bytes unknown_code{0x02, 0x00, 0x80, 0x05};

    // Garbage is reported as one run per burst of input, so each case waits
    // for its log line before the next one goes out.
    port.send(concat(Bytes{0xff, 0x13, 0x37}, stop_telegram()));
    ASSERT_TRUE(sim.wait_log("stop"));
    for (const Bytes& bad : {bad_mailbox_number, letter_in_field, long_name}) {
        port.send(bad);
        ASSERT_TRUE(sim.wait_log("bad telegram: " + hex(bad)));
    }
    // A broken telegram followed at once by a good one: the good one is found.
    port.send(concat(truncated_start, stop_telegram()));
    ASSERT_TRUE(sim.wait_log("bad telegram: " + hex(truncated_start)));
    port.send(concat(unknown_code, mailbox_telegram(100, 100, 100)));
    ASSERT_TRUE(sim.wait_log("mailbox 1: 100 100 100"));

    EXPECT_EQ(sim.log_after("program idle running"),
              (std::vector<std::string>{
                  "bad telegram: ff 13 37",
                  "stop",
                  "bad telegram: " + hex(bad_mailbox_number),
                  "bad telegram: " + hex(letter_in_field),
                  "bad telegram: " + hex(long_name),
                  "bad telegram: " + hex(truncated_start),
                  "stop",
                  "bad telegram: " + hex(unknown_code),
                  "mailbox 1: 100 100 100",
                  "ignored",
              }));
}

TEST(LinksimTelegrams, StaleFragmentDoesNotSwallowNextTelegram)
{
    Sim sim({"--period", "60000"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());
    // Header of a mailbox telegram whose rest never comes.
    port.send({0x0e, 0x00, 0x80, 0x09, 0x01});
    ASSERT_TRUE(sim.wait_log("bad telegram: 0e 00 80 09 01", 1500));
    port.send(stop_telegram());
    ASSERT_TRUE(sim.wait_log("stop"));
    EXPECT_EQ(sim.log(), (std::vector<std::string>{"bad telegram: 0e 00 80 09 01", "stop"}));
}

// ----------------------------------------------------------------- frames

TEST(LinksimFrames, FramesDecodeAndMatchTheLog)
{
    Sim sim({"--period", "20"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());
    port.send(start_telegram("drive"));
    port.send(mailbox_telegram(150, 50, 100));  // powers 50, -50, 0
    ASSERT_TRUE(sim.wait_log("setpoints 50 -50 0"));

    std::vector<Frame> frames;
    for (int i = 0; i < 8; ++i) {
        Frame f{};
        ASSERT_TRUE(port.read_frame(&f)) << "frame " << i;
        frames.push_back(f);
    }
    for (size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        EXPECT_EQ(f.v[0], i + 1) << "sequence starts at 1 and counts up";
        EXPECT_TRUE(sim.wait_log(frame_log_line(f))) << frame_log_line(f);
        EXPECT_LE(f.v[1], 1023);
        EXPECT_LE(f.v[2], 255);
        EXPECT_GT(f.v[3], 7000);
        EXPECT_LT(f.v[3], 8400);
        for (int m = 0; m < 3; ++m) {
            EXPECT_NE(f.raw[m], 65535u);
            EXPECT_LT(f.raw[m], 65536u) << "angles are folded into 16 bits";
            if (f.angle[m] < 0) EXPECT_EQ(f.raw[m], static_cast<uint32_t>(f.angle[m] + 65535));
            else EXPECT_EQ(f.raw[m], static_cast<uint32_t>(f.angle[m]));
        }
        // Equal and opposite power: mirror-image angles; no power: no motion.
        EXPECT_EQ(f.angle[0], -f.angle[1]);
        EXPECT_EQ(f.angle[2], 0);
    }
    EXPECT_GT(frames.back().angle[0], frames[2].angle[0]);
    EXPECT_LT(frames.back().angle[1], 0) << "negative angles survive the folding";
}

TEST(LinksimFrames, StopEndsTheStream)
{
    Sim sim({"--period", "10"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());
    port.send(start_telegram("drive"));
    Frame f{};
    ASSERT_TRUE(port.read_frame(&f));
    ASSERT_TRUE(port.read_frame(&f));
    port.send(stop_telegram());
    ASSERT_TRUE(sim.wait_log("stop"));
    port.drain(30);
    const int logged = sim.count_log("frame ");
    EXPECT_TRUE(port.read_n(1, 150).empty()) << "no frames after stop";
    EXPECT_EQ(sim.count_log("frame "), logged);

    port.send(start_telegram("drive"));
    ASSERT_TRUE(port.read_frame(&f)) << "a new start streams again";
    EXPECT_EQ(f.v[0], 1);
}

TEST(LinksimFrames, RestartReplacesTheRunningProgram)
{
    Sim sim({"--period", "10"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());
    port.send(start_telegram("drive"));
    port.send(mailbox_telegram(200, 200, 200));
    Frame f{};
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(port.read_frame(&f));
    EXPECT_GT(f.angle[0], 0);

    port.send(start_telegram("idle"));
    // The first frame whose sequence number goes down belongs to the new
    // program: it restarts the sequence and the motors.
    uint16_t previous = f.v[0];
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(port.read_frame(&f));
        if (f.v[0] < previous) break;
        previous = f.v[0];
    }
    EXPECT_EQ(f.v[0], 1);
    EXPECT_EQ(f.angle[0], 0);
    EXPECT_TRUE(sim.wait_log("program idle running"));
    port.send(mailbox_telegram(200, 200, 200));
    ASSERT_TRUE(sim.wait_log("ignored")) << "idle semantics now";
    EXPECT_EQ(sim.count_log("setpoints "), 1);
}

// --------------------------------------------------------------- programs

TEST(LinksimPrograms, BalanceTakesGainsFirstThenSetpoints)
{
    Sim sim({"--period", "60000"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());
    port.send(start_telegram("balance"));
    port.send(mailbox_telegram(10, 20, 30));
    port.send(mailbox_telegram(105, 95, 200));
    port.send(mailbox_telegram(0, 999, 100));
    port.send(start_telegram("balance"));
    port.send(mailbox_telegram(300, 999, 0));
    port.send(start_telegram("drive"));
    port.send(mailbox_telegram(10, 20, 30));
    port.send(stop_telegram());
    port.send(mailbox_telegram(10, 20, 30));
    ASSERT_TRUE(sim.wait_log("ignored"));
    EXPECT_EQ(sim.log(), (std::vector<std::string>{
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
    Sim sim({"--programs", "spin,idle", "--autostart", "spin", "--period", "60000"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());
    port.send(mailbox_telegram(120, 100, 100));
    port.send(start_telegram("drive"));
    ASSERT_TRUE(sim.wait_log("program drive unknown"));
    EXPECT_EQ(sim.log(), (std::vector<std::string>{
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
int angle_after_full_power(int g1)
{
    Sim sim({"--period", "25"});
    Port port(sim.slave());
    if (!port.ok()) return -1;
    port.send(start_telegram("balance"));
    port.send(mailbox_telegram(g1, 0, 0));
    port.send(mailbox_telegram(200, 100, 100));
    const auto deadline = after_ms(1500);
    for (;;) {
        std::vector<std::string> frames;
        for (const auto& line : sim.log_after("setpoints 100 0 0"))
            if (line.rfind("frame ", 0) == 0) frames.push_back(line);
        if (frames.size() >= 10) {
            int seq, v[4], a[3];
            if (std::sscanf(frames[9].c_str(), "frame %d %d %d %d %d %d %d %d", &seq, &v[0], &v[1], &v[2], &v[3],
                            &a[0], &a[1], &a[2]) != 8)
                return -1;
            return a[0];
        }
        if (Clock::now() > deadline) return -1;
        sleep_ms(10);
    }
}

TEST(LinksimPrograms, HigherFirstGainMeansFasterMotors)
{
    const int slow = angle_after_full_power(0);    // lag clamped to 2 s
    const int fast = angle_after_full_power(255);  // lag clamped to 0.02 s
    std::printf("[ figures  ] angle after ~0.25 s at full power: g1=0 %d deg, g1=255 %d deg\n", slow, fast);
    ASSERT_GT(slow, 0);
    EXPECT_GT(fast, 3 * slow);
}

TEST(LinksimPrograms, ProportionalLoopConverges)
{
    Sim sim({"--period", "20"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());
    port.send(start_telegram("drive"));
    const int target[3] = {45, -30, 0};
    Frame f{};
    int settled = 0;
    int worst_overshoot = 0;
    const auto deadline = after_ms(1500);
    while (settled < 5 && Clock::now() < deadline) {
        ASSERT_TRUE(port.read_frame(&f));
        int cmd[3];
        bool near = true;
        for (int m = 0; m < 3; ++m) {
            const int err = target[m] - f.angle[m];
            near = near && std::abs(err) <= 2;
            cmd[m] = std::clamp(err / 2, -100, 100) + 100;
        }
        worst_overshoot = std::max(worst_overshoot, f.angle[0] - target[0]);
        settled = near ? settled + 1 : 0;
        port.send(mailbox_telegram(cmd[0], cmd[1], cmd[2]));
    }
    std::printf("[ figures  ] settled after frame %u, overshoot %d deg\n", f.v[0], worst_overshoot);
    EXPECT_EQ(settled, 5) << "angles " << f.angle[0] << " " << f.angle[1] << " " << f.angle[2];
}

TEST(LinksimPrograms, IdleStreamsButIgnoresTheMailbox)
{
    Sim sim({"--period", "10"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());
    port.send(mailbox_telegram(200, 200, 200));  // nothing running
    port.send(start_telegram("idle"));
    port.send(mailbox_telegram(200, 200, 200));
    Frame f{};
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(port.read_frame(&f));
    EXPECT_EQ(f.angle[0], 0);
    EXPECT_EQ(sim.count_log("ignored"), 2);
    EXPECT_EQ(sim.count_log("setpoints"), 0);
}

// ----------------------------------------------------------------- faults

TEST(LinksimFaults, SilenceAcceptsTelegramsButNeverSends)
{
    Sim sim({"--fault", "silence", "--period", "10"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());
    port.send(start_telegram("drive"));
    ASSERT_TRUE(sim.wait_log("program drive running"));
    EXPECT_TRUE(port.read_n(1, 150).empty());
    EXPECT_EQ(sim.count_log("frame "), 0);
}

Bytes first_garbage(int bursts)
{
    Sim sim({"--fault", "garbage", "--period", "10"});
    Port port(sim.slave());
    if (!port.ok()) return {};
    port.send(start_telegram("drive"));
    Bytes b = port.read_n(kFrameLen * static_cast<size_t>(bursts), 1000);
    // Every burst sent is logged, byte for byte.
    for (size_t i = 0; i + kFrameLen <= b.size(); i += kFrameLen) {
        const Bytes one(b.begin() + static_cast<long>(i), b.begin() + static_cast<long>(i + kFrameLen));
        if (!sim.wait_log("garbage " + hex(one))) return {};
    }
    return b;
}

TEST(LinksimFaults, GarbageReplacesFramesDeterministically)
{
    const Bytes a = first_garbage(3);
    const Bytes b = first_garbage(3);
    ASSERT_EQ(a.size(), 3 * kFrameLen);
    EXPECT_EQ(a, b) << "same bytes on every run";
    Frame f{};
    for (size_t i = 0; i < a.size(); i += kFrameLen) EXPECT_FALSE(decode_frame(a, i, &f));
    EXPECT_NE(Bytes(a.begin(), a.begin() + kFrameLen), Bytes(a.begin() + kFrameLen, a.begin() + 2 * kFrameLen));
}

TEST(LinksimFaults, StreamKeepsTheLineSaturated)
{
    // With a 1 s period, any pacing by the frame timer would show as a gap
    // far beyond the margin allowed for scheduling on a busy machine.
    Sim sim({"--fault", "stream", "--autostart", "drive", "--period", "1000"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());
    Bytes all;
    double worst_gap_ms = 0;
    const auto start = Clock::now();
    auto last = start;
    while (Clock::now() - start < std::chrono::milliseconds(300)) {
        const Bytes b = port.read_some(200);
        const auto now = Clock::now();
        worst_gap_ms = std::max(worst_gap_ms, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        all.insert(all.end(), b.begin(), b.end());
    }
    const size_t n = all.size() / kFrameLen;
    std::printf("[ figures  ] stream: %zu frames in 300 ms, longest gap %.1f ms\n", n, worst_gap_ms);
    EXPECT_LT(worst_gap_ms, 100.0);
    ASSERT_GT(n, 100u);
    // Nothing is dropped in stream mode: every frame, in order, intact.
    for (size_t i = 0; i < n; ++i) {
        Frame f{};
        ASSERT_TRUE(decode_frame(all, i * kFrameLen, &f)) << "frame " << i;
        ASSERT_EQ(f.v[0], static_cast<uint16_t>(i + 1));
    }
}

// True once the line reports hang-up (EOF, EIO or POLLHUP) with no more
// data before it.
bool line_dropped(Port& port, int timeout_ms)
{
    pollfd p{port.fd(), POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return false;
    if (p.revents & POLLHUP) return true;
    uint8_t buf[256];
    const ssize_t r = read(port.fd(), buf, sizeof buf);
    return r == 0 || (r < 0 && errno == EIO);
}

TEST(LinksimFaults, HangupAfterFramesDropsTheLine)
{
    Sim sim({"--hangup-after", "2", "--period", "10"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());
    port.send(start_telegram("drive"));
    Frame f{};
    ASSERT_TRUE(port.read_frame(&f));
    ASSERT_TRUE(port.read_frame(&f));
    EXPECT_EQ(f.v[0], 2);
    EXPECT_TRUE(line_dropped(port, 1000));
    EXPECT_TRUE(sim.wait_log("hangup"));
    sleep_ms(30);
    EXPECT_TRUE(sim.running()) << "stays up until told to stop";
    EXPECT_EQ(sim.terminate(), 0);
}

TEST(LinksimFaults, ExitOnHangup)
{
    Sim sim({"--hangup-after", "1", "--exit-on-hangup", "--period", "10"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());
    port.send(start_telegram("idle"));
    Frame f{};
    ASSERT_TRUE(port.read_frame(&f));
    EXPECT_TRUE(line_dropped(port, 1000));
    EXPECT_EQ(sim.wait_exit(), 0);
}

// ---------------------------------------------------------- line handling

TEST(LinksimLine, ClientCanDetachAndReattach)
{
    Sim sim({"--period", "10"});
    const std::string path = sim.slave();
    {
        Port port(path);
        ASSERT_TRUE(port.ok());
        port.send(start_telegram("drive"));
        Frame f{};
        ASSERT_TRUE(port.read_frame(&f));
    }
    sleep_ms(50);  // frames pile up in the line meanwhile
    for (int round = 0; round < 2; ++round) {
        Port port(path);
        ASSERT_TRUE(port.ok()) << "reopen " << round << ": " << std::strerror(errno);
        port.flush_input();
        port.drain(3);
        // Two frames' worth always holds one whole frame to resynchronise on.
        const Bytes b = port.read_n(2 * kFrameLen, 1000);
        Frame f{};
        bool found = false;
        for (size_t i = 0; i + kFrameLen <= b.size() && !found; ++i) found = decode_frame(b, i, &f);
        EXPECT_TRUE(found) << "round " << round;
    }
    Port port(path);
    port.send(stop_telegram());
    EXPECT_TRUE(sim.wait_log("stop"));
    EXPECT_EQ(sim.count_log("line error"), 0);
}

// ---------------------------------------------------------------- control

TEST(LinksimControl, SendFrameHangupAndQuit)
{
    Sim sim({"--control", "--period", "60000"});
    Port port(sim.slave());
    ASSERT_TRUE(port.ok());

    EXPECT_EQ(sim.command("send 01 02 ff"), "ok");
    EXPECT_EQ(port.read_n(3, 1000), (Bytes{0x01, 0x02, 0xff}));
    EXPECT_EQ(sim.command("send 0a0B 7"), "ok");
    EXPECT_EQ(port.read_n(3, 1000), (Bytes{0x0a, 0x0b, 0x07}));
    EXPECT_EQ(sim.command("send 0g"), "error bad hex bytes");
    EXPECT_EQ(sim.command("send 123"), "error bad hex bytes");
    EXPECT_EQ(sim.command("send"), "error bad hex bytes");
    EXPECT_TRUE(port.read_n(1, 30).empty()) << "rejected sends write nothing";

    EXPECT_EQ(sim.command("frame"), "ok");
    Frame f{};
    ASSERT_TRUE(port.read_frame(&f)) << "frames on demand without a program";
    EXPECT_EQ(f.v[0], 1);
    EXPECT_TRUE(sim.wait_log(frame_log_line(f)));

    EXPECT_EQ(sim.command("stats"), "frames 1 telegrams 0");
    EXPECT_EQ(sim.read_line(1000), "ok");
    EXPECT_EQ(sim.command("frame now"), "error unexpected argument");
    EXPECT_EQ(sim.command("jump"), "error unknown command");

    EXPECT_EQ(sim.command("hangup"), "ok");
    EXPECT_TRUE(line_dropped(port, 1000));
    EXPECT_EQ(sim.command("send 01"), "error line closed");
    EXPECT_EQ(sim.command("frame"), "error line closed");
    EXPECT_EQ(sim.command("quit"), "ok");
    EXPECT_EQ(sim.wait_exit(), 0);
}

TEST(LinksimControl, EndOfInputQuits)
{
    Sim sim({"--control"});
    ASSERT_EQ(sim.slave().rfind("/dev/pts/", 0), 0u);
    sim.close_stdin();
    EXPECT_EQ(sim.wait_exit(), 0);
}

TEST(LinksimControl, FullLineDropsFramesWithoutTearing)
{
    Sim sim({"--control", "--period", "60000"});
    Port port(sim.slave());
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
    EXPECT_EQ(sim.command(cmd), "ok");
    EXPECT_EQ(sim.command("frame"), "error line full");
    EXPECT_TRUE(sim.wait_log("dropped 1"));

    EXPECT_EQ(port.read_n(pattern.size(), 1500), pattern) << "queued bytes arrive complete and in order";
    EXPECT_EQ(sim.command("frame"), "ok");
    Frame f{};
    ASSERT_TRUE(port.read_frame(&f));
    EXPECT_EQ(f.v[0], 2) << "the dropped frame leaves a gap in the sequence";
    EXPECT_EQ(sim.command("stats"), "frames 1 telegrams 0");
}

}  // namespace
