// linksim.exe's control input (--control): a console or a pipe, which
// cannot be waited on alike, so a thread of its own reads it and hands it
// over a chunk at a time.
#pragma once

#include "simulator.hpp"

#include <windows.h>

namespace linksim {

struct ControlReader {
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE ready = nullptr; // set: `count` bytes wait in `buffer`, 0 at the end of the input
    HANDLE taken = nullptr; // set: the loop has taken them
    char buffer[4096];
    DWORD count = 0;
};

// None if the system refused. The reader lives as long as the process: its
// thread may still wait in ReadFile when the loop ends.
ControlReader *startControlReader();

// Hands the chunk that `ready` announced to the simulator, and lets the
// thread read on.
void takeControl(Simulator *simulator, ControlReader *reader);

} // namespace linksim
