// What each platform gives the port routines, and nothing else: its system
// calls for a port (a serial device or a socket), the place it keeps the record of attached ports, its
// clock, and the host's interrupt flags. posix/ and win32/ implement all of
// it; core/sources.txt says which folder a build takes. Nothing here raises
// or prints: outcomes are returned, and the shared routines (port/*.cpp)
// turn them into messages.
#pragma once

#include <cstdint>

#include "port/host_interrupt.hpp"
#include "port/record.hpp"
#include "port/socket_name.hpp"
#include "protocol/instants.hpp"

namespace mexlink {

// ---------------------------------------------------------------- opening

// A deadline already past, known without reading the clock.
constexpr std::int64_t noWait = 0;

// busy: in use (another program, or another handle of this process);
// denied: no permission; refused: any other reason the system gives.
// Sockets: notFound also for a host name that does not resolve;
// connectionRefused: nothing accepts connections there; timedOut: the
// connection did not come up in time; interrupted: Ctrl-C. tooManyPorts:
// the record is full (maxAttachedPorts), found before anything is opened.
enum class OpenOutcome {
    opened,
    notFound,
    busy,
    denied,
    refused,
    connectionRefused,
    timedOut,
    interrupted,
    tooManyPorts
};
enum class SetupOutcome { done, busy, stateRefused, timeoutRefused };

// Room for the system's own words on why an open failed (a warning shows
// them before the error, whose text several causes share).
constexpr std::uint32_t causeCapacity = 200;

// A serial device: opens the named device for this process alone, under a
// number the record does not name as recently freed where the system lets
// it choose. Fills `port->handle` and `port->device`; on failure, `cause`
// (causeCapacity bytes) with the system's words and the platform's hint, or
// "".
OpenOutcome serialOpen(const char *name, const PortRecord &record, Port *port, char *cause);
// Applies rate, byte size (low 8 bits), parity (low 8 bits; Win32 codes 0..4)
// and the read time-out T, in raw binary mode. When refused, puts back what
// it changed.
SetupOutcome serialSetUp(const Port &port, std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
                         std::int32_t timeoutMs);

// The settings a serial device had when it was opened, kept to be put back
// (linkProbe leaves a device as it found it).
struct DeviceSettings {
    std::uint8_t bytes[128];
};
int serialSaveSettings(const Port &port, DeviceSettings *settings);
void serialRestoreSettings(const Port &port, const DeviceSettings &settings);

// A socket: the host's addresses are looked up in a thread of their own, so
// the caller waits in slices it chooses and sees Ctrl-C; then each address
// is tried in turn, one non-blocking connect at a time. A connected socket
// sends each telegram at once (no Nagle delay) and holds about what a serial
// port's driver does of unsent output, not the megabytes a system grows a
// socket's buffer to: a bridge that stops taking bytes fails the write after
// its time-out, as a stalled serial line does, instead of piling up minutes
// of stale telegrams (a linkHalt behind them) for when it takes bytes again.
constexpr int socketSendBufferBytes = 4096;
struct SocketLookup;
// nullptr when the lookup could not even start.
SocketLookup *socketLookupStart(const SocketName &name);
enum class LookupState { pending, found, notFound };
// Waits until `deadline` at most for the lookup to finish; `cause` as for
// serialOpen when the name was not found.
LookupState socketLookupWait(SocketLookup *lookup, std::int64_t deadline, char *cause);
// Once found: connects, waiting until `deadline` at most. `opened` fills
// `port->handle` (a number the record does not name as recently freed,
// where the system lets it choose) and `port->device`; `refused`: every
// address refused or failed, `connectionRefused` when one of them refused;
// `timedOut`: still connecting. `cause` as for serialOpen: why the last
// address failed.
OpenOutcome socketConnectWait(SocketLookup *lookup, const PortRecord &record, std::int64_t deadline, Port *port,
                              char *cause);
// Ends the lookup and any connect still under way. A lookup whose thread
// still runs is left to it: the thread frees what it holds when it ends, and
// the plug-in stays loaded until the process ends, so that thread never
// returns into code that was unloaded.
void socketLookupEnd(SocketLookup *lookup);

// Closes a port whose set-up was refused or that could not be recorded.
void portAbandon(const Port &port);

// ---------------------------------------------------------------- an attached port

// The calls below are made only on a port the record lists. Each makes one
// attempt; `deadline` is a monotonic instant (monotonicNanos), and the
// caller, which alone loops, asks again while its own rule allows.

// Whether the handle still names the device it was attached to (a number
// closed behind the plug-ins' back and reused does not). Asks nothing that
// can wait; where the system offers no such question, 1.
int portNamesItsDevice(const Port &port);
// Reads what has arrived, up to `room` bytes; when nothing has, waits until
// `deadline` (at most) for it and returns with `got` 0. 0 on failure (a
// hang-up or a closed connection included).
int portRead(const Port &port, std::uint8_t *bytes, std::uint32_t room, std::int64_t deadline, std::uint32_t *got);
// Writes what the line takes now; when it takes nothing, waits until
// `deadline` (at most; noWait: not at all, where the system lets a write
// return at once; a Win32 serial port waits one slice of its write
// time-out) for room and returns with `written` 0. 0 on failure. No signal
// reaches the host when the other end has gone.
int portWrite(const Port &port, const std::uint8_t *bytes, std::uint32_t count, std::int64_t deadline,
              std::uint32_t *written);
// How many bytes written earlier wait to go out; 0 when the device cannot
// tell (gone, say), and for a socket, whose bytes count as sent once the
// system has them.
std::uint32_t portOutputQueued(const Port &port);
// Closes the port; output still queued is dropped when `drained` is false,
// so the close itself never waits for the line. 0 when the close failed.
int portClose(const Port &port, bool drained);

// ---------------------------------------------------------------- the record

// Where the record's text (port/record.hpp) is kept: a place every plug-in of
// the process finds without state of its own, that outlives any one plug-in
// (each may be unloaded at any time), that nothing outside the process can
// reach, and that ends with the process.
std::uint32_t currentProcessId();
// Copies the kept text into `text` (recordTextCapacity bytes); 0 when there
// is none.
int loadRecordText(char *text);
// Keeps `text` in place of what was kept; 0 when it could not be kept.
int storeRecordText(const char *text);

// ---------------------------------------------------------------- the clock

// A clock that only moves forward, for deadlines (protocol/instants.hpp).
std::int64_t monotonicNanos();
// Gives up the processor for about `ms` milliseconds (at least one tick).
void sleepMillis(std::uint32_t ms);

// And the host's interrupt flags: hostInterruptPending (port/host_interrupt.hpp).

} // namespace mexlink
