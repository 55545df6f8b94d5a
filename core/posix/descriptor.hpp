// On POSIX a port, once open, is a file descriptor: a terminal or a connected
// socket. What the POSIX port code shares.
#pragma once

#include <cerrno>
#include <cstdint>

#include <sys/types.h>

#include "port/platform.hpp"
#include "posix/kernel.hpp"

namespace mexlink {

// A number the record does not name as recently freed, for the open file of
// `fd` (whose lock and settings go with it): the lowest free number above
// those freed, where the process has one.
int freshNumber(int fd, const PortRecord &record);

// The system's words for `error` into `cause` (causeCapacity bytes).
void describeError(int error, char *cause);

// One non-blocking read or write (`attempt`); when the descriptor has nothing
// for it yet, or no room, waits until `deadline` for that to change and
// reports `done` 0: the caller tries again. 0 on failure, a hang-up or a
// closed connection included (a read of nothing).
template <typename Attempt>
int transferOnce(int fd, Waiting direction, std::int64_t deadline, std::uint32_t *done, Attempt attempt)
{
    *done = 0;
    const ssize_t n = attempt();
    if (n > 0) {
        *done = static_cast<std::uint32_t>(n);
        return 1;
    }
    if (n == 0)
        return direction == Waiting::writable;
    if (errno == EINTR)
        return 1;
    if (errno != EAGAIN && errno != EWOULDBLOCK)
        return 0;
    return deadline == noWait || waitForDescriptor(fd, direction, deadline) >= 0;
}

} // namespace mexlink
