// The record of the ports this process has attached: the one place that says
// which handles are ports of these plug-ins, with the read time-out T and
// the device each was attached to. A port enters it only once its attach has
// succeeded and leaves it at its detach or at the release; every command
// reads it before it makes any call on a handle, so a handle it does not
// list (closed, never attached, the host's own file or pipe, a number a
// later open reused) is refused without being touched.
//
// This file is the record itself, pure: its entries, the numbers lately let
// go, and its text. Where a platform keeps the text: port/platform.hpp; how
// the port routines read and write it: port/attached.hpp.
#pragma once

#include <cstdint>

namespace mexlink {

constexpr std::uint32_t maxAttachedPorts = 32;
// The numbers of the last ports let go, which an attach does not hand out
// again while it can help it: a handle kept past its detach then names no
// port rather than the next one attached.
constexpr std::uint32_t freedNumbersKept = 16;
// Room for the text (below) with every field at its widest: "pid P", then
// " port H T DEVICE serial" and " freed H" items, and the NUL.
constexpr std::uint32_t recordTextCapacity = 14 + maxAttachedPorts * 55 + freedNumbersKept * 17 + 1;

// A serial device, or a TCP connection (socket://HOST:PORT).
enum class PortKind { serial, socket };

// A port as the record lists it.
struct Port {
    std::uint32_t handle;
    std::uint32_t timeoutMs;
    // What the handle named when it was attached: on POSIX the device number
    // of the terminal, or the socket's inode; 0 on Windows, where a handle
    // held names its device until it is closed.
    std::uint64_t device;
    PortKind kind;
};

struct PortRecord {
    std::uint32_t portCount;
    Port ports[maxAttachedPorts];
    // Oldest first.
    std::uint32_t freedCount;
    std::uint32_t freed[freedNumbersKept];
};

void emptyRecord(PortRecord *record);

// The entry of `handle`, or nullptr.
const Port *findAttached(const PortRecord &record, std::uint32_t handle);
// 0 when the record is full.
int addAttached(PortRecord *record, const Port &port);
// Takes `handle` out and remembers its number among the freed ones.
void removeAttached(PortRecord *record, std::uint32_t handle);
bool recentlyFreed(const PortRecord &record, std::uint32_t handle);

// The text of a record: "pid P" and then "port HANDLE T DEVICE KIND" (KIND
// serial or socket) and "freed HANDLE" items, space separated. It names the process it belongs
// to, so a child that inherits it (a forked or started process) finds no
// port of its own in it. Both return 0 on failure (a text that is not a
// record of process `pid`, or no room); a failed parse leaves the record
// empty.
int formatPortRecord(const PortRecord &record, std::uint32_t pid, char *text, std::uint32_t capacity);
int parsePortRecord(const char *text, std::uint32_t pid, PortRecord *record);

} // namespace mexlink
