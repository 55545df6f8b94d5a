// linksim.exe: TCP only (no pseudo-terminals), no fork.
#include "options.hpp"
#include "usage.hpp"

namespace linksim {

const char lineText[] = "Simulates the robot controller on TCP (Windows has no pseudo-terminals).\n"
                        "Without --listen it listens on 127.0.0.1:26741 and says in plain words\n"
                        "what to pass to linkAttach; with --listen the first line on stdout is\n"
                        "socket://HOST:PORT. The simulator serves until Ctrl-C, the console window\n"
                        "closes, or the control command quit.\n";
const char backgroundText[] = "  --background        POSIX only, a usage error here: start linksim.exe in\n"
                              "                      a window of its own instead (start linksim.exe ...)\n";

// With no pseudo-terminal to serve on, TCP on the default port, said in
// plain words to whoever double-clicked it.
std::string fitToPlatform(Options *options)
{
    if (options->background)
        return "--background is POSIX only: start linksim.exe in a window of its own instead";
    if (!options->listen) {
        options->listen = true;
        options->listenPort = defaultListenPort;
        options->announce = true;
    }
    return "";
}

} // namespace linksim
