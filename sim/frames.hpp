// Status frames on the line, and the faults that replace or withhold them.
#pragma once

#include <cstdint>

namespace linksim {

struct Simulator;

enum class Emit { periodic, stream, requested };

// Produces the next status burst (a frame, or garbage in that fault mode
// unless requested). In stream mode a burst that finds the line full is not
// produced at all; otherwise it counts as dropped. Returns true if sent.
bool emitStatus(Simulator *simulator, std::int64_t nowNs, Emit how);

// Frames go out on the period timer.
bool periodicActive(const Simulator &simulator);
// Frames go out whenever the line takes them (fault mode stream).
bool streamActive(const Simulator &simulator);

// Tops up the line in stream mode.
void fillStream(Simulator *simulator);

} // namespace linksim
