// The control commands (--control): parsed and answered here, whatever the
// platform; the terminal settings they reach are the line's (LineEnd).
#include "simulator.hpp"

#include <cstdio>
#include <string>
#include <vector>

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
        if (!queueOutput(&line, bytes.data(), bytes.size(), Clock::now())) {
            lineBroke(simulator);
            reply("error line closed");
            return;
        }
        logWrittenFrames(simulator);
        reply("ok");
        return;
    }
    if ((command == "winsize" || command == "exclusive") && simulator->options.listen) {
        reply("error " + command + " needs a terminal: the line is a TCP connection");
        return;
    }
    if (command == "winsize") {
        // The window size as the line's other end sets it.
        WindowSize size;
        unsigned rows = 0, columns = 0, x = 0, y = 0;
        char rest = 0;
        const bool setting = argument.find_first_not_of(" \t") != std::string::npos;
        if (setting
            && (std::sscanf(argument.c_str(), "%u %u %u %u %c", &rows, &columns, &x, &y, &rest) != 4 || rows > 65535
                || columns > 65535 || x > 65535 || y > 65535)) {
            reply("error winsize takes ROWS COLUMNS XPIXEL YPIXEL");
            return;
        }
        const WindowSize wanted{static_cast<unsigned short>(rows), static_cast<unsigned short>(columns),
                                static_cast<unsigned short>(x), static_cast<unsigned short>(y)};
        if (!lineOpen(line) || !line.end->windowSize(setting ? &wanted : nullptr, &size)) {
            reply("error line closed");
            return;
        }
        reply("winsize " + std::to_string(size.rows) + " " + std::to_string(size.columns) + " "
              + std::to_string(size.xPixels) + " " + std::to_string(size.yPixels));
        reply("ok");
        return;
    }
    if (command == "exclusive") {
        // Another program that had the terminal open before the client, and
        // holds it in exclusive mode.
        if (argument != "on" && argument != "off") {
            reply("error exclusive takes on or off");
            return;
        }
        if (!lineOpen(line) || !line.end->holdExclusive(argument == "on")) {
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
            reply(emitStatus(simulator, Clock::now(), Emit::requested) ? "ok" : "error line full");
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

void onControlInput(Simulator *simulator, const char *text, std::size_t count)
{
    std::string &input = simulator->controlInput;
    input.append(text, count);
    std::size_t newline;
    while (!simulator->done && (newline = input.find('\n')) != std::string::npos) {
        const std::string command = input.substr(0, newline);
        input.erase(0, newline + 1);
        runCommand(simulator, command);
    }
    if (input.size() > controlLineMax) {
        input.clear();
        reply("error line too long");
    }
}

void onControlEnd(Simulator *simulator)
{
    simulator->controlOpen = false;
    simulator->done = true; // EOF on the control channel means quit
}

} // namespace linksim
