// The record of the ports this process has attached: the one place that says
// which handles are ports of these plug-ins, with the read time-out T and
// the device each was attached to. A port enters it only once its attach has
// succeeded and leaves it at its detach or at the release; every command
// reads it before it makes any call on a handle, so a handle it does not
// list (closed, never attached, the host's own file or pipe, a number a
// later open reused) is refused without being touched.
//
// The record lives in the process's environment, as the variable
// MEXLINK_ATTACHED_PORTS (recordVariable), in text: every plug-in finds it
// by name without state of its own, nothing outside the process can reach
// it (not the line's other end, another opener of the device or stty), and
// it ends with the process. It names the process it belongs to, so a child
// that inherits the variable (a forked or started process) finds no port of
// its own in it. Where the text is kept: posix_port_record.cpp,
// win32_port_record.cpp; the text itself: port_record.cpp.
#pragma once

#include <cstdint>

namespace mexlink {

constexpr char recordVariable[] = "MEXLINK_ATTACHED_PORTS";
constexpr std::uint32_t maxAttachedPorts = 32;
// The numbers of the last ports let go, which an attach does not hand out
// again while it can help it: a handle kept past its detach then names no
// port rather than the next one attached.
constexpr std::uint32_t freedNumbersKept = 16;
// Room for the text: every field at its widest.
constexpr std::uint32_t recordTextCapacity = 2048;

struct AttachedPort {
    std::uint32_t handle;
    std::uint32_t timeoutMs;
    // What the handle named when it was attached: on POSIX the device number
    // of the terminal; 0 on Windows, where a handle held names its device
    // until it is closed.
    std::uint64_t device;
};

struct PortRecord {
    std::uint32_t portCount;
    AttachedPort ports[maxAttachedPorts];
    // Oldest first.
    std::uint32_t freedCount;
    std::uint32_t freed[freedNumbersKept];
};

// This process's record; empty when there is none yet, or when the variable
// holds anything but a record of this process.
void readPortRecord(PortRecord *record);
// Stores `record` as this process's; 0 when it could not be stored.
int writePortRecord(const PortRecord &record);

// The entry of `handle`, or nullptr.
const AttachedPort *findAttached(const PortRecord &record, std::uint32_t handle);
// 0 when the record is full.
int addAttached(PortRecord *record, const AttachedPort &port);
// Takes `handle` out and remembers its number among the freed ones.
void removeAttached(PortRecord *record, std::uint32_t handle);
bool recentlyFreed(const PortRecord &record, std::uint32_t handle);

// The text of a record: "pid P" and then "port HANDLE T DEVICE" and
// "freed HANDLE" items, space separated. Both return 0 on failure (a text
// that is not a record of process `pid`, or no room).
int formatPortRecord(const PortRecord &record, std::uint32_t pid, char *text, std::uint32_t capacity);
int parsePortRecord(const char *text, std::uint32_t pid, PortRecord *record);

// What each platform provides (posix_port_record.cpp, win32_port_record.cpp):
std::uint32_t currentProcessId();
// The variable's value, or nullptr; `scratch` (recordTextCapacity bytes) is
// where a platform that hands out copies puts it.
const char *recordText(char *scratch);
int storeRecordText(const char *text);

} // namespace mexlink
