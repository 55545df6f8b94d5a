// The simulator's command line.
#pragma once

#include <string>
#include <vector>

namespace linksim {

enum class Fault { none, silence, garbage, stream };

struct Options {
    std::string logPath;
    std::vector<std::string> programs{"balance", "drive", "idle"};
    int periodMs = 50;
    Fault fault = Fault::none;
    long hangupAfter = 0; // frames; 0: never
    bool exitOnHangup = false;
    bool autostart = false;
    std::string autostartName;
    bool control = false;
    bool logTimes = false;
    bool background = false;
};

// Fills *options from the arguments. Returns -1 to go on serving, otherwise
// the exit code (after --help, or a usage error reported on stderr).
int parseArguments(int argc, char **argv, Options *options);

} // namespace linksim
