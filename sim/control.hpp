// Control commands (--control): one per line on stdin, each answered on
// stdout with "ok" or "error ...".
#pragma once

namespace linksim {

struct Simulator;

// Reads what stdin has and runs every complete command in it; end of input
// ends the simulator.
void onControlInput(Simulator *simulator);

} // namespace linksim
