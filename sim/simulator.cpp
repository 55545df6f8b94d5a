#include "simulator.hpp"

#include <unistd.h>

#include <cerrno>

namespace linksim {

namespace {

bool writeAll(int fd, const std::string &text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        const ssize_t n = write(fd, text.data() + pos, text.size() - pos);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        pos += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

void logLine(const Simulator &simulator, const std::string &text)
{
    if (simulator.logFd >= 0)
        writeAll(simulator.logFd, text + "\n");
}

bool reply(const std::string &text) { return writeAll(STDOUT_FILENO, text + "\n"); }

void hangUp(Simulator *simulator, const char *why)
{
    closeLine(&simulator->line);
    simulator->received.clear();
    simulator->junk.clear();
    simulator->program.running = false;
    simulator->hangupNs = 0;
    logLine(*simulator, why);
    if (simulator->options.exitOnHangup)
        simulator->done = true;
}

} // namespace linksim
