// The simulator's command line.
#pragma once

#include "link.hpp"

#include <string>
#include <vector>

namespace linksim {

enum class Fault { none, silence, garbage, stream };

// Where linksim.exe listens when not told (Windows has no pseudo-terminal
// to fall back on). Below 32768, so no system hands it out as a client's own
// port (Linux from 32768, Windows and macOS from 49152, where Hyper-V and WSL
// also reserve their port ranges), and no common server or development tool
// listens on it by default. The --help text names it too.
constexpr int defaultListenPort = 26741;

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
    bool listen = false;                  // TCP instead of a pseudo-terminal
    std::string listenHost = "127.0.0.1"; // numeric; an IPv6 one without its brackets
    int listenPort = 0;                   // 0: the system picks a free one
    bool announce = false;                // say in plain words where it listens (linksim.exe, no --listen)
    LinkSettings link;                    // ideal unless told
};

// Fills *options from the arguments. Returns -1 to go on serving, otherwise
// the exit code (after --help, or a usage error reported on stderr).
int parseArguments(int argc, char **argv, Options *options);

// Reports a usage error found after parsing (an address no system takes);
// returns the exit code.
int usageError(const std::string &message);

// Each platform's own (posix/platform.cpp, win32/platform.cpp): the options
// once parsed, checked and completed as that platform serves; a usage
// error's text, or "".
std::string fitToPlatform(Options *options);

} // namespace linksim
