// linksim on POSIX: a pseudo-terminal or TCP, and --background.
#include "options.hpp"
#include "usage.hpp"

namespace linksim {

const char lineText[] = "Simulates the robot controller on a pseudo-terminal, or with --listen on\n"
                        "TCP. The first line on stdout is the name to open: the slave device path,\n"
                        "or socket://HOST:PORT. The simulator serves until SIGINT, SIGTERM or the\n"
                        "control command quit.\n";
const char backgroundText[] = "  --background        fork once the line is open and serve from the child,\n"
                              "                      in a session of its own; the launcher prints the one\n"
                              "                      line 'NAME PID' (the slave path or socket://HOST:PORT,\n"
                              "                      pid of the child) and exits, 1 with a message on\n"
                              "                      stderr if the child did not start; without --control\n"
                              "                      the child's stdout goes to /dev/null\n";

// Every option serves as given.
std::string fitToPlatform(Options *) { return ""; }

} // namespace linksim
