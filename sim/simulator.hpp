// One simulator run (the line, the program, the counters and the log) and
// what a platform's event loop calls on it. Platform-free: the loop
// (posix/main.cpp, win32/main.cpp) waits for the line, the control input, a
// signal and the next wake time, and calls in here.
#pragma once

#include "line.hpp"
#include "model.hpp"
#include "options.hpp"
#include "protocol.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace linksim {

struct Simulator {
    Options options;
    Line line;
    Receiver receiver;
    Program program;
    Instant hangupAt = never; // pending hang-up
    std::FILE *log = nullptr;
    bool controlOpen = false;
    std::string controlInput; // an unfinished command line
    std::uint64_t frames = 0;
    std::uint64_t lineFrames = 0; // sent since the line opened (--hangup-after)
    std::uint64_t telegrams = 0;
    std::uint64_t dropped = 0;
    bool done = false;
};

void logLine(const Simulator &simulator, const std::string &text);

// " t=SECONDS.MICROS" on the wall clock, which a client process can read
// too (--log-times).
std::string wallStamp();

// One line on stdout: the device path, or the answer to a control command.
bool reply(const std::string &text); // false if stdout is gone

// Drops the line and whatever belonged to the client's session.
void hangUp(Simulator *simulator, const char *why);
// Hangs up a line that read or write found broken, saying why in the log.
void lineBroke(Simulator *simulator);

enum class Emit { periodic, stream, requested };

// Produces the next status burst (a frame, or garbage in that fault mode
// unless requested). In stream mode a burst that finds the line full is not
// produced at all; otherwise it counts as dropped. Returns true if sent.
bool emitStatus(Simulator *simulator, Instant now, Emit how);

// Logs "sent SEQ" for each frame whose last byte the link has delivered
// since (with --log-times, and when).
void logWrittenFrames(Simulator *simulator);

// ------------------------------------------------ what the event loop calls

// Before serving: the control channel, and --autostart if the line is open.
void startServing(Simulator *simulator, Instant now);
// A client's line opened after that (a TCP client taken): its session
// starts, with --autostart's program.
void openLine(Simulator *simulator, std::unique_ptr<LineEnd> end, Instant now);
// At the end: closes the line and the log.
void endServing(Simulator *simulator);

// The line has input, or room for output.
void onLineReadable(Simulator *simulator);
void onLineWritable(Simulator *simulator);

// Runs what is due at `now`: a pending hang-up, a stale fragment, the next
// periodic frame.
void onTimers(Simulator *simulator, Instant now);
// When there is something to do next without input; never if nothing.
Instant nextWake(const Simulator &simulator, Instant now);
// Whether to wait for room on the line: output is due, or the stream wants
// more and the link carries none of it.
bool wantsRoom(const Simulator &simulator, Instant now);
// Whole milliseconds to wait from now until `wake`: rounded up so the wait
// never ends early, -1 for never, capped to fit an int.
int waitMillis(Instant now, Instant wake);

// Control commands (--control), one per line, each answered on stdout with
// "ok" or "error ...": runs every complete one in what arrived. The end of
// the input ends the simulator.
void onControlInput(Simulator *simulator, const char *text, std::size_t count);
void onControlEnd(Simulator *simulator);

} // namespace linksim
