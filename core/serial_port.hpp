// What a platform's port backend gives the shared port routines
// (serial_common.cpp): its system calls, and nothing else. serial_posix.cpp
// and serial_win32.cpp implement all of it. Nothing here raises or prints;
// outcomes are returned and the shared routines turn them into messages.
#pragma once

#include <cstdint>

#include "port_proof.hpp"

constexpr std::uint32_t noReadWait = 0xFFFFFFFFu;

// A port proven to be one this process attached, ready for reads and writes.
struct Port {
    std::uint32_t handle = 0;
    std::uint32_t timeoutMs = 0; // T, kept by the port itself since the attach
    // The wait a read last set up on the port (backends whose reads set up
    // their waits on the port itself, i.e. Win32), or noReadWait.
    std::uint32_t readWaitMs = noReadWait;
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

// The calls below are made only on a port proven ours (port_proof.hpp).
// Reads what has arrived, up to `room` bytes; when nothing has, waits up to
// `waitNs` for the first byte. `got` 0 is a wait that ran out. 0 on failure
// (a hang-up included).
int portRead(Port *port, std::uint8_t *bytes, std::uint32_t room, std::int64_t waitNs, std::uint32_t *got);
// Puts back what reads changed on the port; 0 if that failed.
int portEndReads(Port *port);
// Writes what the line takes now, waiting up to `waitNs` for room; 0 on failure.
int portWrite(Port *port, const std::uint8_t *bytes, std::uint32_t count, std::int64_t waitNs, std::uint32_t *written);
// Lets earlier writes reach the line, for a bounded time where the platform can.
void portDrainOutput(Port *port);
CloseOutcome portClose(std::uint32_t handle);
// Closes every port this process attached and still holds, as portClose
// does; nothing else is touched.
void portReleaseAll();
