// linksim: stands in for the robot controller on a pseudo-terminal.
//
// The client opens the printed slave path like a serial port. Telegrams it
// writes are parsed and logged; while a program runs, status frames are
// streamed back. See --help for options and control commands.

#include "model.hpp"
#include "protocol.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace linksim {
namespace {

constexpr int64_t kMs = 1000000;
// A client writes a telegram in one go; a fragment that sits this long is
// stale and is resynchronised past instead of swallowing the next telegram.
constexpr int64_t kRxStale = 250 * kMs;
// Frames per wake-up in stream mode, so input and signals are still served.
constexpr int kStreamBurst = 64;
constexpr size_t kJunkMax = 256;
// --hangup-after drops the line this long after the last frame, so that
// frame can still reach a client that reads at the frame rate.
constexpr int64_t kHangupGraceMin = 10 * kMs;
constexpr int64_t kHangupGraceMax = 200 * kMs;
constexpr size_t kControlLineMax = 1 << 20;

enum class Fault { None, Silence, Garbage, Stream };
enum class Kind { Drive, Balance, Idle };
enum class Emit { Periodic, Stream, Explicit };

struct Options {
    std::string log_path;
    std::vector<std::string> programs{"balance", "drive", "idle"};
    int period_ms = 50;
    Fault fault = Fault::None;
    long hangup_after = 0;  // 0: never
    bool exit_on_hangup = false;
    bool autostart = false;
    std::string autostart_name;
    bool control = false;
    bool log_times = false;
};

struct Line {
    int master = -1;
    int slave = -1;  // held so the master never sees hang-up between clients
    std::vector<uint8_t> out;  // accepted but not yet written
    size_t out_pos = 0;
};

struct Program {
    bool running = false;
    std::string name;
    Kind kind = Kind::Drive;
    bool gains_seen = false;
    Model model;
    int64_t start_ns = 0;
    int64_t model_ns = 0;
    int64_t next_frame_ns = 0;
    uint32_t seq = 0;
};

struct Sim {
    Options opt;
    Line line;
    Program prog;
    std::vector<uint8_t> rx;
    std::vector<uint8_t> junk;
    int64_t rx_ns = 0;
    int64_t hangup_ns = 0;  // pending hang-up time, 0 if none
    int log_fd = -1;
    int sig_fd = -1;
    bool stdin_open = false;
    std::string control_in;
    uint64_t frames = 0;
    uint64_t telegrams = 0;
    uint64_t dropped = 0;
    bool done = false;
};

int64_t now_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// " t=SECONDS.MICROS" on the wall clock, which a client process can read too.
std::string wall_stamp()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    char buf[48];
    std::snprintf(buf, sizeof buf, " t=%lld.%06ld", static_cast<long long>(ts.tv_sec), ts.tv_nsec / 1000);
    return buf;
}

int write_all(int fd, const std::string& s)
{
    size_t pos = 0;
    while (pos < s.size()) {
        const ssize_t n = write(fd, s.data() + pos, s.size() - pos);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        pos += static_cast<size_t>(n);
    }
    return 1;
}

void log_line(const Sim& sim, const std::string& text)
{
    if (sim.log_fd >= 0) write_all(sim.log_fd, text + "\n");
}

void reply(const std::string& text)
{
    write_all(STDOUT_FILENO, text + "\n");
}

int line_open(const Sim& sim)
{
    return sim.line.master >= 0;
}

int out_pending(const Sim& sim)
{
    return sim.line.out_pos < sim.line.out.size();
}

void close_line(Line* line)
{
    if (line->master >= 0) close(line->master);
    if (line->slave >= 0) close(line->slave);
    line->master = -1;
    line->slave = -1;
    line->out.clear();
    line->out_pos = 0;
}

void hangup(Sim* sim, const char* why)
{
    close_line(&sim->line);
    sim->rx.clear();
    sim->junk.clear();
    sim->prog.running = false;
    sim->hangup_ns = 0;
    log_line(*sim, why);
    if (sim->opt.exit_on_hangup) sim->done = true;
}

// Writes queued bytes until done or the line is full; 0 if the line broke.
int flush_out(Sim* sim)
{
    Line& l = sim->line;
    while (l.out_pos < l.out.size()) {
        const ssize_t n = write(l.master, l.out.data() + l.out_pos, l.out.size() - l.out_pos);
        if (n > 0) {
            l.out_pos += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        hangup(sim, "line error");
        return 0;
    }
    if (l.out_pos == l.out.size()) {
        l.out.clear();
        l.out_pos = 0;
    }
    return 1;
}

// Puts a whole burst on the line or nothing: a burst is only started when
// no earlier bytes are waiting, and an unfinished tail is queued so frames
// are never torn. Returns 1 if the burst was started.
int send_burst(Sim* sim, const uint8_t* p, size_t n)
{
    if (!line_open(*sim) || out_pending(*sim)) return 0;
    ssize_t w;
    do {
        w = write(sim->line.master, p, n);
    } while (w < 0 && errno == EINTR);
    if (w < 0) {
        if (errno != EAGAIN) hangup(sim, "line error");
        return 0;
    }
    if (static_cast<size_t>(w) < n) {
        sim->line.out.assign(p + w, p + n);
        sim->line.out_pos = 0;
    }
    return w > 0;
}

void advance_model(Sim* sim, int64_t now)
{
    Program& p = sim->prog;
    model_advance(&p.model, static_cast<double>(now - p.model_ns) / 1e9);
    p.model_ns = now;
}

FrameData make_frame(Sim* sim, int64_t now, uint32_t seq)
{
    advance_model(sim, now);
    const Program& p = sim->prog;
    const Sensors s = model_sensors(p.model, static_cast<double>(now - p.start_ns) / 1e9);
    FrameData f{};
    f.v[0] = static_cast<uint16_t>(seq);
    f.v[1] = s.light;
    f.v[2] = s.distance;
    f.v[3] = s.battery;
    for (int i = 0; i < kMotors; ++i) f.angle[i] = model_angle(p.model, i);
    return f;
}

// Stand-in for a frame in garbage mode: a function of the sequence number
// only, so every run produces the same bytes.
void garbage_burst(uint32_t seq, uint8_t out[kFrameLen])
{
    uint32_t x = seq * 2654435761u ^ 0x6a09e667u;
    if (x == 0) x = 1;
    for (size_t i = 0; i < kFrameLen; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<uint8_t>(x >> 24);
    }
}

std::string frame_text(uint32_t seq, const FrameData& f)
{
    std::string s = "frame " + std::to_string(seq);
    for (uint16_t v : f.v) s += " " + std::to_string(v);
    for (int32_t a : f.angle) s += " " + std::to_string(a);
    return s;
}

// Produces the next status burst. In stream mode a burst that finds the
// line full is not produced at all; otherwise it counts as dropped.
int emit_status(Sim* sim, int64_t now, Emit how)
{
    const uint32_t seq = sim->prog.seq + 1;
    uint8_t buf[kFrameLen];
    std::string text;
    if (sim->opt.fault == Fault::Garbage && how != Emit::Explicit) {
        garbage_burst(seq, buf);
        text = "garbage " + hex_bytes(buf, kFrameLen);
    } else {
        const FrameData f = make_frame(sim, now, seq);
        encode_frame(f, buf);
        text = frame_text(seq, f);
    }
    const int sent = send_burst(sim, buf, kFrameLen);
    // Taken right after the write, before any formatting, so it marks when
    // the burst reached the line.
    if (sent && sim->opt.log_times) text += wall_stamp();
    if (!sent && how == Emit::Stream) return 0;
    sim->prog.seq = seq;
    if (!sent) {
        if (line_open(*sim)) {
            ++sim->dropped;
            log_line(*sim, "dropped " + std::to_string(sim->dropped));
        }
        return 0;
    }
    ++sim->frames;
    log_line(*sim, text);
    if (sim->opt.hangup_after > 0 && sim->frames >= static_cast<uint64_t>(sim->opt.hangup_after) &&
        sim->hangup_ns == 0) {
        const int64_t grace = std::clamp(sim->opt.period_ms * kMs, kHangupGraceMin, kHangupGraceMax);
        sim->hangup_ns = now + grace;
    }
    return 1;
}

int streaming(const Sim& sim)
{
    return sim.prog.running && line_open(sim) && sim.hangup_ns == 0;
}

int periodic_active(const Sim& sim)
{
    return streaming(sim) && sim.opt.fault != Fault::Silence && sim.opt.fault != Fault::Stream;
}

int stream_active(const Sim& sim)
{
    return streaming(sim) && sim.opt.fault == Fault::Stream;
}

void stream_fill(Sim* sim)
{
    for (int i = 0; i < kStreamBurst && stream_active(*sim) && !out_pending(*sim); ++i)
        if (!emit_status(sim, now_ns(), Emit::Stream)) break;
}

int known_program(const Sim& sim, const std::string& name)
{
    const auto& list = sim.opt.programs;
    return std::find(list.begin(), list.end(), name) != list.end();
}

Kind program_kind(const std::string& name)
{
    if (name == "balance") return Kind::Balance;
    if (name == "idle") return Kind::Idle;
    return Kind::Drive;
}

void start_program(Sim* sim, const std::string& name, int64_t now)
{
    const std::string shown = escape_name(name);
    log_line(*sim, "start \"" + shown + "\"");
    if (!known_program(*sim, name)) {
        log_line(*sim, "program " + shown + " unknown");
        return;
    }
    log_line(*sim, "program " + shown + " running");
    Program& p = sim->prog;
    p = Program{};
    p.running = true;
    p.name = name;
    p.kind = program_kind(name);
    p.start_ns = now;
    p.model_ns = now;
    p.next_frame_ns = now + sim->opt.period_ms * kMs;
}

void stop_program(Sim* sim, int64_t now)
{
    log_line(*sim, "stop");
    Program& p = sim->prog;
    if (!p.running) return;
    // The motors lose power and coast down; frames on demand still show it.
    advance_model(sim, now);
    for (int& power : p.model.power) power = 0;
    p.running = false;
}

std::string three(const int v[3])
{
    return std::to_string(v[0]) + " " + std::to_string(v[1]) + " " + std::to_string(v[2]);
}

void on_mailbox(Sim* sim, const std::string& text, const int values[3], int64_t now)
{
    log_line(*sim, "mailbox 1: " + text.substr(0, 3) + " " + text.substr(3, 3) + " " + text.substr(6, 3));
    Program& p = sim->prog;
    if (!p.running || p.kind == Kind::Idle) {
        log_line(*sim, "ignored");
        return;
    }
    advance_model(sim, now);
    if (p.kind == Kind::Balance && !p.gains_seen) {
        for (int i = 0; i < 3; ++i) p.model.gain[i] = std::min(values[i], 255);
        p.gains_seen = true;
        log_line(*sim, "gains " + three(p.model.gain));
        return;
    }
    for (int i = 0; i < kMotors; ++i) p.model.power[i] = std::clamp(values[i] - 100, -100, 100);
    log_line(*sim, "setpoints " + three(p.model.power));
}

void handle_telegram(Sim* sim, const uint8_t* t, size_t len, int64_t now)
{
    ++sim->telegrams;
    std::string text;
    int values[3];
    if (parse_start(t, len, &text))
        start_program(sim, text, now);
    else if (parse_stop(t, len))
        stop_program(sim, now);
    else if (parse_mailbox(t, len, &text, values))
        on_mailbox(sim, text, values, now);
}

void flush_junk(Sim* sim)
{
    if (sim->junk.empty()) return;
    log_line(*sim, "bad telegram: " + hex_bytes(sim->junk.data(), sim->junk.size()));
    sim->junk.clear();
}

// Consumes complete telegrams from the receive buffer. Bytes that cannot
// start a valid telegram are skipped one at a time and reported together.
// `stale` treats an unfinished fragment as garbage too.
void process_rx(Sim* sim, int64_t now, bool stale)
{
    size_t pos = 0;
    while (pos < sim->rx.size()) {
        size_t len = 0;
        const Scan s = scan_telegram(sim->rx.data() + pos, sim->rx.size() - pos, &len);
        if (s == Scan::NeedMore && !stale) break;
        if (s != Scan::Complete) {
            sim->junk.push_back(sim->rx[pos++]);
            if (sim->junk.size() >= kJunkMax) flush_junk(sim);
            continue;
        }
        flush_junk(sim);
        handle_telegram(sim, sim->rx.data() + pos, len, now);
        pos += len;
    }
    sim->rx.erase(sim->rx.begin(), sim->rx.begin() + static_cast<std::ptrdiff_t>(pos));
    if (sim->rx.empty()) flush_junk(sim);
}

void on_timers(Sim* sim, int64_t now)
{
    if (sim->hangup_ns != 0 && now >= sim->hangup_ns) hangup(sim, "hangup");
    if (!sim->rx.empty() && now - sim->rx_ns >= kRxStale) process_rx(sim, now, true);
    Program& p = sim->prog;
    if (periodic_active(*sim) && now >= p.next_frame_ns) {
        emit_status(sim, now, Emit::Periodic);
        const int64_t period = sim->opt.period_ms * kMs;
        p.next_frame_ns += period;
        if (p.next_frame_ns <= now) p.next_frame_ns = now + period;  // fell behind: skip
    }
}

int poll_timeout(const Sim& sim, int64_t now)
{
    int64_t next = INT64_MAX;
    if (!sim.rx.empty()) next = sim.rx_ns + kRxStale;
    if (sim.hangup_ns != 0) next = std::min(next, sim.hangup_ns);
    if (periodic_active(sim)) next = std::min(next, sim.prog.next_frame_ns);
    if (next == INT64_MAX) return -1;
    if (next <= now) return 0;
    return static_cast<int>(std::min<int64_t>((next - now + kMs - 1) / kMs, INT_MAX));
}

void on_master(Sim* sim, short revents)
{
    if (revents & POLLIN) {
        uint8_t buf[512];
        const ssize_t n = read(sim->line.master, buf, sizeof buf);
        const int64_t now = now_ns();
        if (n > 0) {
            sim->rx.insert(sim->rx.end(), buf, buf + n);
            sim->rx_ns = now;
            process_rx(sim, now, false);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            hangup(sim, "line error");
            return;
        }
    }
    if (!line_open(*sim)) return;
    if (revents & POLLOUT) {
        if (!flush_out(sim)) return;
        stream_fill(sim);
    }
    if (line_open(*sim) && (revents & (POLLHUP | POLLERR)) && !(revents & POLLIN))
        hangup(sim, "line error");
}

void on_control_line(Sim* sim, std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return;
    text.erase(0, first);
    const size_t sp = text.find_first_of(" \t");
    const std::string cmd = text.substr(0, sp);
    const std::string arg = sp == std::string::npos ? "" : text.substr(sp + 1);

    if (cmd == "send") {
        std::vector<uint8_t> bytes;
        if (!parse_hex(arg, &bytes)) return reply("error bad hex bytes");
        if (!line_open(*sim)) return reply("error line closed");
        sim->line.out.insert(sim->line.out.end(), bytes.begin(), bytes.end());
        if (!flush_out(sim)) return reply("error line closed");
        return reply("ok");
    }
    if (arg.find_first_not_of(" \t") != std::string::npos) return reply("error unexpected argument");
    if (cmd == "frame") {
        if (!line_open(*sim)) return reply("error line closed");
        return reply(emit_status(sim, now_ns(), Emit::Explicit) ? "ok" : "error line full");
    }
    if (cmd == "hangup") {
        if (!line_open(*sim)) return reply("error line closed");
        hangup(sim, "hangup");
        return reply("ok");
    }
    if (cmd == "stats") {
        reply("frames " + std::to_string(sim->frames) + " telegrams " + std::to_string(sim->telegrams));
        return reply("ok");
    }
    if (cmd == "quit") {
        sim->done = true;
        return reply("ok");
    }
    reply("error unknown command");
}

void on_stdin(Sim* sim)
{
    char buf[4096];
    const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
        sim->stdin_open = false;
        sim->done = true;  // EOF on the control channel means quit
        return;
    }
    sim->control_in.append(buf, static_cast<size_t>(n));
    size_t nl;
    while (!sim->done && (nl = sim->control_in.find('\n')) != std::string::npos) {
        const std::string text = sim->control_in.substr(0, nl);
        sim->control_in.erase(0, nl + 1);
        on_control_line(sim, text);
    }
    if (sim->control_in.size() > kControlLineMax) {
        sim->control_in.clear();
        reply("error line too long");
    }
}

int open_line(Line* line, std::string* path)
{
    const int m = posix_openpt(O_RDWR | O_NOCTTY);
    if (m < 0) return 0;
    char name[128];
    if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, name, sizeof name) != 0) {
        close(m);
        return 0;
    }
    const int s = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (s < 0 || tcgetattr(s, &t) != 0) {
        if (s >= 0) close(s);
        close(m);
        return 0;
    }
    cfmakeraw(&t);
    if (tcsetattr(s, TCSANOW, &t) != 0 || fcntl(m, F_SETFL, O_NONBLOCK) != 0 ||
        fcntl(m, F_SETFD, FD_CLOEXEC) != 0) {
        close(s);
        close(m);
        return 0;
    }
    line->master = m;
    line->slave = s;
    *path = name;
    return 1;
}

int open_signals(Sim* sim)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return 0;
    sim->sig_fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    signal(SIGPIPE, SIG_IGN);
    return sim->sig_fd >= 0;
}

const char kUsage[] =
    "usage: linksim [options]\n"
    "Simulates the robot controller on a pseudo-terminal. The first line on\n"
    "stdout is the slave device path; the simulator serves until SIGINT,\n"
    "SIGTERM or the control command quit.\n"
    "\n"
    "  --log FILE          log telegrams and frames to FILE (truncated)\n"
    "  --log-times         end each frame line of the log with ' t=S.US', the\n"
    "                      wall clock (CLOCK_REALTIME, microseconds) just after\n"
    "                      the frame was written to the line\n"
    "  --programs A,B,...  stored programs (default balance,drive,idle)\n"
    "  --period MS         status frame period, 1..60000 (default 50)\n"
    "  --fault MODE        silence | garbage | stream\n"
    "  --hangup-after N    drop the line one period (10..200 ms) after the\n"
    "                      Nth frame; status frames stop at the Nth\n"
    "  --exit-on-hangup    exit once the line has been dropped\n"
    "  --autostart NAME    start program NAME at launch\n"
    "  --control           read commands from stdin, one per line:\n"
    "                        send HEXBYTES...  write raw bytes to the line\n"
    "                        frame             send one status frame now\n"
    "                        hangup            drop the line\n"
    "                        stats             print 'frames N telegrams N'\n"
    "                        quit              exit (so does EOF)\n"
    "                      each command is answered with 'ok' or 'error ...'\n"
    "  --help              show this text\n";

int parse_number(const char* s, long lo, long hi, long* out)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, 10);
    if (errno != 0 || end == s || *end != '\0' || v < lo || v > hi) return 0;
    *out = v;
    return 1;
}

int parse_programs(const std::string& list, std::vector<std::string>* out)
{
    out->clear();
    size_t pos = 0;
    for (;;) {
        const size_t comma = list.find(',', pos);
        const std::string name = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (name.empty() || name.size() > kMaxName) return 0;
        out->push_back(name);
        if (comma == std::string::npos) return 1;
        pos = comma + 1;
    }
}

int parse_fault(const std::string& s, Fault* out)
{
    if (s == "silence") *out = Fault::Silence;
    else if (s == "garbage") *out = Fault::Garbage;
    else if (s == "stream") *out = Fault::Stream;
    else return 0;
    return 1;
}

int usage_error(const std::string& msg)
{
    std::fprintf(stderr, "linksim: %s (see --help)\n", msg.c_str());
    return 2;
}

// Returns -1 to go on serving, otherwise the exit code.
int parse_args(int argc, char** argv, Options* opt)
{
    for (int i = 1; i < argc; ++i) {
        std::string key = argv[i];
        std::string value;
        bool has_value = false;
        const size_t eq = key.find('=');
        if (key.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = key.substr(eq + 1);
            key.erase(eq);
            has_value = true;
        }
        const bool wants_value = key == "--log" || key == "--programs" || key == "--period" ||
                                 key == "--fault" || key == "--hangup-after" || key == "--autostart";
        if (wants_value && !has_value) {
            if (i + 1 >= argc) return usage_error(key + " needs a value");
            value = argv[++i];
        } else if (!wants_value && has_value) {
            return usage_error(key + " takes no value");
        }
        long n = 0;
        if (key == "--help" || key == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (key == "--log") {
            opt->log_path = value;
        } else if (key == "--programs") {
            if (!parse_programs(value, &opt->programs)) return usage_error("bad program list '" + value + "'");
        } else if (key == "--period") {
            if (!parse_number(value.c_str(), 1, 60000, &n)) return usage_error("bad period '" + value + "'");
            opt->period_ms = static_cast<int>(n);
        } else if (key == "--fault") {
            if (!parse_fault(value, &opt->fault)) return usage_error("unknown fault mode '" + value + "'");
        } else if (key == "--hangup-after") {
            if (!parse_number(value.c_str(), 1, LONG_MAX, &n)) return usage_error("bad frame count '" + value + "'");
            opt->hangup_after = n;
        } else if (key == "--exit-on-hangup") {
            opt->exit_on_hangup = true;
        } else if (key == "--autostart") {
            opt->autostart = true;
            opt->autostart_name = value;
        } else if (key == "--control") {
            opt->control = true;
        } else if (key == "--log-times") {
            opt->log_times = true;
        } else {
            return usage_error("unknown option '" + key + "'");
        }
    }
    return -1;
}

int run(Sim* sim)
{
    std::string path;
    if (!open_signals(sim)) {
        std::perror("linksim: signals");
        return 1;
    }
    if (!sim->opt.log_path.empty()) {
        sim->log_fd = open(sim->opt.log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
        if (sim->log_fd < 0) {
            std::fprintf(stderr, "linksim: %s: %s\n", sim->opt.log_path.c_str(), std::strerror(errno));
            return 1;
        }
    }
    if (!open_line(&sim->line, &path)) {
        std::perror("linksim: pseudo-terminal");
        return 1;
    }
    sim->stdin_open = sim->opt.control;
    sim->prog.start_ns = sim->prog.model_ns = now_ns();
    if (sim->opt.autostart) start_program(sim, sim->opt.autostart_name, now_ns());
    reply(path);

    while (!sim->done) {
        on_timers(sim, now_ns());
        if (sim->done) break;
        pollfd fds[3];
        nfds_t n = 0;
        fds[n++] = {sim->sig_fd, POLLIN, 0};
        int mi = -1;
        int ci = -1;
        if (line_open(*sim)) {
            short ev = POLLIN;
            if (out_pending(*sim) || stream_active(*sim)) ev |= POLLOUT;
            mi = static_cast<int>(n);
            fds[n++] = {sim->line.master, ev, 0};
        }
        if (sim->stdin_open) {
            ci = static_cast<int>(n);
            fds[n++] = {STDIN_FILENO, POLLIN, 0};
        }
        const int r = poll(fds, n, poll_timeout(*sim, now_ns()));
        if (r < 0) {
            if (errno == EINTR) continue;
            std::perror("linksim: poll");
            return 1;
        }
        if (fds[0].revents) break;  // SIGINT or SIGTERM
        if (mi >= 0 && fds[mi].revents) on_master(sim, fds[mi].revents);
        if (ci >= 0 && fds[ci].revents && !sim->done) on_stdin(sim);
    }
    return 0;
}

}  // namespace
}  // namespace linksim

int main(int argc, char** argv)
{
    linksim::Sim sim;
    const int rc = linksim::parse_args(argc, argv, &sim.opt);
    if (rc >= 0) return rc;
    const int status = linksim::run(&sim);
    linksim::close_line(&sim.line);
    if (sim.log_fd >= 0) close(sim.log_fd);
    if (sim.sig_fd >= 0) close(sim.sig_fd);
    return status;
}
