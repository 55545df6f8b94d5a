// The simulator's log and its lines on stdout, each flushed as written, so
// a test reading them sees every line the moment it is out.
#include "simulator.hpp"

#include <chrono>
#include <cstdio>
#include <string>

namespace linksim {

namespace {

bool writeLine(std::FILE *file, const std::string &text)
{
    const std::string line = text + "\n";
    return std::fwrite(line.data(), 1, line.size(), file) == line.size() && std::fflush(file) == 0;
}

} // namespace

std::string wallStamp()
{
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch - seconds);
    char text[48];
    std::snprintf(text, sizeof text, " t=%lld.%06lld", static_cast<long long>(seconds.count()),
                  static_cast<long long>(micros.count()));
    return text;
}

void logLine(const Simulator &simulator, const std::string &text)
{
    if (simulator.log)
        writeLine(simulator.log, text);
}

bool reply(const std::string &text) { return writeLine(stdout, text); }

} // namespace linksim
