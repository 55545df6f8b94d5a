// Telegrams from the line: reassembled from whatever pieces arrive,
// resynchronised past bytes that cannot start one, and handed on.
#pragma once

#include "monotonic_clock.hpp"

#include <cstdint>

namespace linksim {

struct Simulator;

// A client writes a telegram in one go; a fragment that sits this long is
// stale and is resynchronised past instead of swallowing the next telegram.
constexpr std::int64_t staleFragmentNs = mexlink::millisToNanos(250);

// Consumes complete telegrams from simulator->received. Bytes that cannot
// start a valid telegram are skipped one at a time and reported together.
// `stale` treats an unfinished fragment as garbage too.
void processReceived(Simulator *simulator, std::int64_t nowNs, bool stale);

} // namespace linksim
