#include "control.hpp"

#include "frames.hpp"
#include "monotonic_clock.hpp"
#include "protocol.hpp"
#include "simulator.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

using namespace mexlink;

namespace linksim {

namespace {

constexpr std::size_t controlLineMax = 1 << 20;

void runCommand(Simulator *simulator, std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return;
    text.erase(0, first);
    const std::size_t space = text.find_first_of(" \t");
    const std::string command = text.substr(0, space);
    const std::string argument = space == std::string::npos ? "" : text.substr(space + 1);
    Line &line = simulator->line;

    if (command == "send") {
        std::vector<std::uint8_t> bytes;
        if (!parseHex(argument, &bytes)) {
            reply("error bad hex bytes");
            return;
        }
        if (!lineOpen(line)) {
            reply("error line closed");
            return;
        }
        line.pending.insert(line.pending.end(), bytes.begin(), bytes.end());
        if (!flushPending(&line)) {
            hangUp(simulator, "line error");
            reply("error line closed");
            return;
        }
        reply("ok");
        return;
    }
    if (command == "winsize") {
        // The window size as the line's other end sets it: rows, columns and
        // the size in pixels, shared by every opener of the terminal.
        winsize size{};
        unsigned rows = 0, columns = 0, x = 0, y = 0;
        char rest = 0;
        const bool setting = argument.find_first_not_of(" \t") != std::string::npos;
        if (setting
            && (std::sscanf(argument.c_str(), "%u %u %u %u %c", &rows, &columns, &x, &y, &rest) != 4 || rows > 65535
                || columns > 65535 || x > 65535 || y > 65535)) {
            reply("error winsize takes ROWS COLUMNS XPIXEL YPIXEL");
            return;
        }
        size = winsize{static_cast<unsigned short>(rows), static_cast<unsigned short>(columns),
                       static_cast<unsigned short>(x), static_cast<unsigned short>(y)};
        if (!lineOpen(line) || (setting && ioctl(line.master, TIOCSWINSZ, &size) != 0)
            || ioctl(line.master, TIOCGWINSZ, &size) != 0) {
            reply("error line closed");
            return;
        }
        reply("winsize " + std::to_string(size.ws_row) + " " + std::to_string(size.ws_col) + " "
              + std::to_string(size.ws_xpixel) + " " + std::to_string(size.ws_ypixel));
        reply("ok");
        return;
    }
    if (command == "exclusive") {
        // Another program that had the terminal open before the client, and
        // holds it in exclusive mode: the simulator's own descriptor of it.
        if (argument != "on" && argument != "off") {
            reply("error exclusive takes on or off");
            return;
        }
        if (!lineOpen(line) || ioctl(line.slave, argument == "on" ? TIOCEXCL : TIOCNXCL) != 0) {
            reply("error line closed");
            return;
        }
        reply("ok");
        return;
    }
    if (argument.find_first_not_of(" \t") != std::string::npos) {
        reply("error unexpected argument");
        return;
    }
    if (command == "frame") {
        if (!lineOpen(line))
            reply("error line closed");
        else
            reply(emitStatus(simulator, monotonicNanos(), Emit::requested) ? "ok" : "error line full");
    } else if (command == "hangup") {
        if (!lineOpen(line)) {
            reply("error line closed");
        } else {
            hangUp(simulator, "hangup");
            reply("ok");
        }
    } else if (command == "stats") {
        reply("frames " + std::to_string(simulator->frames) + " telegrams " + std::to_string(simulator->telegrams));
        reply("ok");
    } else if (command == "quit") {
        simulator->done = true;
        reply("ok");
    } else {
        reply("error unknown command");
    }
}

} // namespace

void onControlInput(Simulator *simulator)
{
    char buffer[4096];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        simulator->controlOpen = false;
        simulator->done = true; // EOF on the control channel means quit
        return;
    }
    std::string &input = simulator->controlInput;
    input.append(buffer, static_cast<std::size_t>(n));
    std::size_t newline;
    while (!simulator->done && (newline = input.find('\n')) != std::string::npos) {
        const std::string text = input.substr(0, newline);
        input.erase(0, newline + 1);
        runCommand(simulator, text);
    }
    if (input.size() > controlLineMax) {
        input.clear();
        reply("error line too long");
    }
}

} // namespace linksim
