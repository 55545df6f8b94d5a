// What a platform's port backend gives the shared port routines
// (serial_common.cpp): its system calls, and nothing else. serial_posix.cpp
// and serial_win32.cpp implement all of it. Nothing here raises or prints;
// outcomes are returned and the shared routines turn them into messages.
#pragma once

#include <cstdint>

#include "port_proof.hpp"

namespace mexlink {

// A deadline already past, known without reading the clock.
constexpr std::int64_t noWait = 0;

// A port proven ours (port_proof.hpp): its handle and its read time-out T.
struct Port {
    std::uint32_t handle = 0;
    std::uint32_t timeoutMs = 0;
};

// busy: in use (another program, or another handle of this process);
// denied: no permission; refused: any other reason.
enum class OpenOutcome { opened, notFound, busy, denied, refused };
enum class SetupOutcome { done, busy, stateRefused, timeoutRefused };
enum class CloseOutcome { closed, notOurs, failed };

// Opens the named device for this process alone. `handle` gets its number
// when opened.
OpenOutcome portOpen(const char *name, std::uint32_t *handle);
// Applies rate, byte size (low 8 bits), parity (low 8 bits; Win32 codes 0..4)
// and the read time-out T, in raw binary mode, and marks the port as
// attached (port_proof.hpp). When refused, puts back what it changed.
SetupOutcome portSetUp(std::uint32_t handle, std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
                       std::int32_t timeoutMs);
// Closes a port whose set-up was refused (portSetUp has put the device back
// as it found it).
void portAbandon(std::uint32_t handle);

// The calls below are made only on a port proven ours. Each makes one
// attempt; `deadline` is a monotonic instant (monotonic_clock.hpp), and the
// caller, which alone loops, asks again while its own rule allows.

// Reads what has arrived, up to `room` bytes; when nothing has, waits until
// `deadline` (at most) for it and returns with `got` 0. 0 on failure (a
// hang-up included).
int portRead(const Port &port, std::uint8_t *bytes, std::uint32_t room, std::int64_t deadline, std::uint32_t *got);
// Writes what the line takes now; when it takes nothing, waits until
// `deadline` (at most; noWait: not at all) for room and returns with
// `written` 0. 0 on failure.
int portWrite(const Port &port, const std::uint8_t *bytes, std::uint32_t count, std::int64_t deadline,
              std::uint32_t *written);
// Lets earlier writes reach the line, for a bounded time where the platform can.
void portDrainOutput(const Port &port);
CloseOutcome portClose(std::uint32_t handle);
// Closes every port this process attached and still holds, as portClose
// does; nothing else is touched.
void portReleaseAll();

} // namespace mexlink
