// The serial port routines compiled into the commands. A port is named only
// by its handle (a 32-bit number held in the caller's uint32 array); the
// routines take a pointer to that element. Every failure is raised through
// raiseError at the place it is found, so a routine that returns, returns 1.
//
// serial_common.cpp holds what every platform does alike; the backend of the
// platform (serial_port.hpp) supplies the system calls.
#pragma once

#include <cstdint>

namespace mexlink {

// Handle value that stands for "no port" (the 32-bit form of an invalid handle).
constexpr std::uint32_t invalidPortHandle = 0xFFFFFFFFu;

// One read asks for this many bytes.
constexpr std::uint32_t chunkSize = 50;

// readSerialLatest hands back the newest bytes of everything it read: the
// last chunk, after the last latestCarrySize bytes of the chunk before it, so
// that a status frame cut by a chunk boundary is still seen whole.
constexpr std::uint32_t latestCarrySize = 22;
constexpr std::uint32_t latestStreamSize = latestCarrySize + chunkSize;

// Writes give up after writeTimeoutConstantMs + writeTimeoutPerByteMs * count
// (the write time-outs of the port), so a stalled port fails instead of hanging.
constexpr std::uint32_t writeTimeoutConstantMs = 2000;
constexpr std::uint32_t writeTimeoutPerByteMs = 10;

// Before the status read and before a close, output written earlier is let
// go out for at most this long, and no longer than this once it stops
// moving (more than a byte's time at 50 baud).
constexpr std::uint32_t outputDrainLimitMs = 2000;
constexpr std::uint32_t drainStallMs = 500;

// readSerialLatest starts no new read once this long has passed since the
// call began (and a read with no time-outs is cut off there): a controller
// that never pauses cannot hold the caller forever.
constexpr std::uint32_t latestDrainLimitMs = 2000;

int openSerial(std::uint32_t *handleOut, const char *portName, std::int32_t baudRate, std::int32_t byteSize,
               std::int32_t parity, std::int32_t timeoutMs);
int writeSerial(const std::uint32_t *handle, const std::uint8_t *bytes, std::uint32_t count);
// `stream` holds latestStreamSize bytes; `count` gets 0 to latestStreamSize - 1.
int readSerialLatest(const std::uint32_t *handle, std::uint8_t *stream, std::uint32_t *count);
// `chunk` holds chunkSize bytes; `count` gets 0 to chunkSize.
int readSerialOnce(const std::uint32_t *handle, std::uint8_t *chunk, std::uint32_t *count);
int closeSerial(const std::uint32_t *handle);

// The host calls this when it unloads linkAttach (clear all, clear functions,
// clear linkAttach) or exits: every port the record lists is closed as
// linkDetach closes it, and nothing else. Handles that survive then name no
// port. Raises nothing and asks nothing of the host.
void releaseAttachedPorts();

} // namespace mexlink
