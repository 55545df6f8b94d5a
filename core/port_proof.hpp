// The proof that a handle names a port these plug-ins attached, in this
// process, as this very handle, and the read time-out T it was attached
// with. Both live in the port's own state, where the tools that change a
// port's settings from outside (stty, mode) do not reach, so an outside
// change that leaves the port working leaves its handle working too. Each
// platform keeps its proof in a file named after it: posix_port_proof.cpp,
// win32_port_proof.cpp.
#pragma once

#include <cstdint>

namespace mexlink {

// oursFailed: marked by this process as this handle, but the device no longer
// answers (it hung up): a failure of the port, not a foreign handle.
enum class Proof { ours, notOurs, oursFailed };

// Marks a port just configured as attached through `handle`, with T. 1 when
// the mark took; otherwise the mark's part of the port is as it was found.
int markAttached(std::uint32_t handle, std::uint32_t timeoutMs);
// Whether `handle` names such a port; when ours, T into *timeoutMs.
Proof proveAttached(std::uint32_t handle, std::uint32_t *timeoutMs);
// Takes the mark off before the close: the number, reused for the same
// device, then names no port.
void unmarkAttached(std::uint32_t handle);

} // namespace mexlink
