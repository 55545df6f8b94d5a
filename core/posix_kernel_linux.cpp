// Linux: mark/space parity through CMSPAR, lock owners in /proc/self/fdinfo,
// owners of open files through F_SETOWN,
// and poll(), which works on every terminal here. Custom rates: linux_termios2.cpp.
#include "posix_kernel.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "monotonic_clock.hpp"

namespace mexlink {

unsigned long stickParityFlag() { return CMSPAR; }

int holdsAdvisoryLock(int fd)
{
    // /proc/self/fdinfo lists the locks held through this very open file.
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fdinfo/%d", fd);
    const int info = open(path, O_RDONLY | O_CLOEXEC);
    if (info < 0)
        return -1;
    char text[4096];
    const ssize_t n = read(info, text, sizeof text - 1);
    close(info);
    if (n <= 0)
        return -1;
    text[n] = '\0';
    for (const char *line = std::strstr(text, "lock:"); line != nullptr; line = std::strstr(line + 5, "lock:")) {
        const char *end = std::strchr(line, '\n');
        const char *flock = std::strstr(line, "FLOCK");
        const char *write = std::strstr(line, "WRITE");
        if (flock != nullptr && write != nullptr && (end == nullptr || (flock < end && write < end)))
            return 1;
    }
    return 0;
}

// F_SETOWN keeps the owner in the open file itself: a forked child sharing
// it finds its parent named there.
int markOwner(int fd) { return fcntl(fd, F_SETOWN, getpid()) == 0; }

int ownedHere(int fd) { return fcntl(fd, F_GETOWN) == getpid(); }

int waitForTerminal(int fd, TerminalWait what, std::int64_t deadline)
{
    pollfd waiter{fd, static_cast<short>(what == TerminalWait::readable ? POLLIN : POLLOUT), 0};
    const int ready = poll(&waiter, 1, millisUntil(monotonicNanos(), deadline));
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    if (ready == 0)
        return 0;
    return (waiter.revents & POLLNVAL) != 0 ? -1 : 1;
}

} // namespace mexlink
