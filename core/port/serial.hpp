// The port routines the commands call. A port is named only by its handle (a
// 32-bit number held in the caller's uint32 array); the routines take a
// pointer to that element. Every failure is raised through raiseError at the
// place it is found, so a routine that returns, returns 1.
//
// The routines run alike on every platform (port/*.cpp); what differs is
// behind port/platform.hpp, in the platform's own folder.
#pragma once

#include <cstdint>

#include "protocol/link_timing.hpp"
#include "protocol/read_rule.hpp"

namespace mexlink {

// Handle value that stands for "no port" (the 32-bit form of an invalid handle).
constexpr std::uint32_t invalidPortHandle = 0xFFFFFFFFu;

int openSerial(std::uint32_t *handleOut, const char *portName, std::int32_t baudRate, std::int32_t byteSize,
               std::int32_t parity, std::int32_t timeoutMs);
int writeSerial(const std::uint32_t *handle, const std::uint8_t *bytes, std::uint32_t count);
// `stream` holds latestStreamSize bytes; `count` gets 0 to latestStreamSize - 1.
int readSerialLatest(const std::uint32_t *handle, std::uint8_t *stream, std::uint32_t *count);
// `chunk` holds chunkSize bytes; `count` gets 0 to chunkSize.
int readSerialOnce(const std::uint32_t *handle, std::uint8_t *chunk, std::uint32_t *count);
int closeSerial(const std::uint32_t *handle);

// linkProbe's port work: opens the named port as linkAttach does (with its
// messages, but without the "*hSerial" line and outside the record), sets its
// line settings, notes for `durationNs` when what bytes arrive (in at most
// `capacity` bursts, protocol/link_timing.hpp), then puts the device's
// settings back as it found them and closes it. Ctrl-C ends it early.
int probeSerial(const char *portName, std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
                std::int64_t durationNs, Burst *bursts, std::uint32_t capacity, std::uint32_t *count);

// The host calls this when it unloads linkAttach (clear all, clear functions,
// clear linkAttach) or exits: every port the record lists is closed as
// linkDetach closes it, and nothing else. Handles that survive then name no
// port. Raises nothing and asks nothing of the host.
void releaseAttachedPorts();

} // namespace mexlink
