// linksim --help.
#pragma once

namespace linksim {

// What the simulator serves on, and its --background option: each
// platform's own (posix/platform.cpp, win32/platform.cpp).
extern const char lineText[];
extern const char backgroundText[];

// Prints the help text on stdout.
void printUsage();

} // namespace linksim
