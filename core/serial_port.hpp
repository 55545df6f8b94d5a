// What a platform's port backend gives the shared port routines
// (serial_common.cpp): its system calls, and nothing else. serial_posix.cpp
// and serial_win32.cpp implement all of it. Nothing here raises or prints;
// outcomes are returned and the shared routines turn them into messages.
#pragma once

#include <cstdint>

#include "port_record.hpp"

namespace mexlink {

// A deadline already past, known without reading the clock.
constexpr std::int64_t noWait = 0;

// A port as the record lists it (port_record.hpp).
typedef AttachedPort Port;

// busy: in use (another program, or another handle of this process);
// denied: no permission; refused: any other reason.
enum class OpenOutcome { opened, notFound, busy, denied, refused };
enum class SetupOutcome { done, busy, stateRefused, timeoutRefused };

// Opens the named device for this process alone, under a number the record
// does not name as recently freed where the system lets it choose. Fills
// `port->handle` and `port->device`.
OpenOutcome portOpen(const char *name, const PortRecord &record, Port *port);
// Applies rate, byte size (low 8 bits), parity (low 8 bits; Win32 codes 0..4)
// and the read time-out T, in raw binary mode. When refused, puts back what
// it changed.
SetupOutcome portSetUp(const Port &port, std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
                       std::int32_t timeoutMs);
// Closes a port whose set-up was refused or that could not be recorded.
void portAbandon(const Port &port);

// The calls below are made only on a port the record lists. Each makes one
// attempt; `deadline` is a monotonic instant (monotonic_clock.hpp), and the
// caller, which alone loops, asks again while its own rule allows.

// Whether the handle still names the device it was attached to (a number
// closed behind the plug-ins' back and reused does not). Asks nothing that
// can wait; where the system offers no such question, 1.
int portNamesItsDevice(const Port &port);
// Reads what has arrived, up to `room` bytes; when nothing has, waits until
// `deadline` (at most) for it and returns with `got` 0. 0 on failure (a
// hang-up included).
int portRead(const Port &port, std::uint8_t *bytes, std::uint32_t room, std::int64_t deadline, std::uint32_t *got);
// Writes what the line takes now; when it takes nothing, waits until
// `deadline` (at most; noWait: not at all, where the system lets a write
// return at once; Win32 waits one slice of its write time-out) for room and
// returns with `written` 0. 0 on failure.
int portWrite(const Port &port, const std::uint8_t *bytes, std::uint32_t count, std::int64_t deadline,
              std::uint32_t *written);
// How many bytes written earlier wait to go out; 0 when the device cannot
// tell (gone, say).
std::uint32_t portOutputQueued(const Port &port);
// Closes the port; output still queued is dropped when `drained` is false,
// so the close itself never waits for the line. 0 when the close failed.
int portClose(const Port &port, bool drained);

} // namespace mexlink
