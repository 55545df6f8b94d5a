// State of one simulator run, shared by the event loop and the handlers it
// calls, and the outputs every handler may use.
#pragma once

#include "line.hpp"
#include "options.hpp"
#include "program.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace linksim {

struct Simulator {
    Options options;
    Line line;
    Program program;
    std::vector<std::uint8_t> received; // from the line, not yet a whole telegram
    std::vector<std::uint8_t> junk;     // skipped, not yet logged
    std::int64_t receivedNs = 0;        // when bytes last arrived
    std::int64_t hangupNs = 0;          // pending hang-up time, 0 if none
    int logFd = -1;
    int signalFd = -1;
    bool controlOpen = false;
    std::string controlInput; // an unfinished command line
    std::uint64_t frames = 0;
    std::uint64_t telegrams = 0;
    std::uint64_t dropped = 0;
    bool done = false;
};

void logLine(const Simulator &simulator, const std::string &text);

// One line on stdout: the device path, or the answer to a control command.
bool reply(const std::string &text); // false if stdout is gone

// Drops the line and whatever belonged to the client's session.
void hangUp(Simulator *simulator, const char *why);

} // namespace linksim
