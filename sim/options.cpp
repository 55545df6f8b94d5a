#include "options.hpp"

#include "protocol.hpp"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace linksim {

namespace {

constexpr char usageText[] = "usage: linksim [options]\n"
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
                             "                        winsize [R C X Y] set the terminal's rows, columns and\n"
                             "                                          pixel size; answers 'winsize R C X Y'\n"
                             "                        exclusive on|off  hold the terminal in exclusive mode,\n"
                             "                                          as a program that opened it first\n"
                             "                        stats             print 'frames N telegrams N'\n"
                             "                        quit              exit (so does EOF)\n"
                             "                      each command is answered with 'ok' or 'error ...'\n"
                             "  --background        fork once the line is open and serve from the child,\n"
                             "                      in a session of its own; the launcher prints the one\n"
                             "                      line 'DEVICE PID' (slave path, pid of the child)\n"
                             "                      and exits, 1 with a message on stderr if the child\n"
                             "                      did not start; without --control the child's stdout\n"
                             "                      goes to /dev/null\n"
                             "  --help              show this text\n";

bool parseNumber(const std::string &text, long low, long high, long *out)
{
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < low || v > high)
        return false;
    *out = v;
    return true;
}

bool parseProgramList(const std::string &list, std::vector<std::string> *out)
{
    out->clear();
    std::size_t pos = 0;
    for (;;) {
        const std::size_t comma = list.find(',', pos);
        const std::string name = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (name.empty() || name.size() > maxNameLength)
            return false;
        out->push_back(name);
        if (comma == std::string::npos)
            return true;
        pos = comma + 1;
    }
}

bool parseFault(const std::string &text, Fault *out)
{
    if (text == "silence")
        *out = Fault::silence;
    else if (text == "garbage")
        *out = Fault::garbage;
    else if (text == "stream")
        *out = Fault::stream;
    else
        return false;
    return true;
}

int usageError(const std::string &message)
{
    std::fprintf(stderr, "linksim: %s (see --help)\n", message.c_str());
    return 2;
}

} // namespace

int parseArguments(int argc, char **argv, Options *options)
{
    for (int i = 1; i < argc; ++i) {
        std::string key = argv[i];
        std::string value;
        bool hasValue = false;
        const std::size_t equals = key.find('=');
        if (key.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = key.substr(equals + 1);
            key.erase(equals);
            hasValue = true;
        }
        const bool wantsValue = key == "--log" || key == "--programs" || key == "--period" || key == "--fault"
                                || key == "--hangup-after" || key == "--autostart";
        if (wantsValue && !hasValue) {
            if (i + 1 >= argc)
                return usageError(key + " needs a value");
            value = argv[++i];
        } else if (!wantsValue && hasValue) {
            return usageError(key + " takes no value");
        }
        long number = 0;
        if (key == "--help" || key == "-h") {
            std::fputs(usageText, stdout);
            return 0;
        } else if (key == "--log") {
            options->logPath = value;
        } else if (key == "--programs") {
            if (!parseProgramList(value, &options->programs))
                return usageError("bad program list '" + value + "'");
        } else if (key == "--period") {
            if (!parseNumber(value, 1, 60000, &number))
                return usageError("bad period '" + value + "'");
            options->periodMs = static_cast<int>(number);
        } else if (key == "--fault") {
            if (!parseFault(value, &options->fault))
                return usageError("unknown fault mode '" + value + "'");
        } else if (key == "--hangup-after") {
            if (!parseNumber(value, 1, LONG_MAX, &number))
                return usageError("bad frame count '" + value + "'");
            options->hangupAfter = number;
        } else if (key == "--exit-on-hangup") {
            options->exitOnHangup = true;
        } else if (key == "--autostart") {
            options->autostart = true;
            options->autostartName = value;
        } else if (key == "--control") {
            options->control = true;
        } else if (key == "--log-times") {
            options->logTimes = true;
        } else if (key == "--background") {
            options->background = true;
        } else {
            return usageError("unknown option '" + key + "'");
        }
    }
    return -1;
}

} // namespace linksim
