// Linux: mark/space parity through CMSPAR, the exclusive mode of a terminal
// through TIOCGEXCL, poll(), which works on every terminal here, and
// MSG_NOSIGNAL on every send. Custom rates: linux_termios2.cpp.
#include "posix/kernel.hpp"

#include <cerrno>

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>

#include "port/platform.hpp"

namespace mexlink {

unsigned long kernelInputModesOff() { return IUCLC | IMAXBEL; }

unsigned long stickParityFlag() { return CMSPAR; }

int exclusiveModeSet(int fd)
{
    int exclusive = 0;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 ? exclusive != 0 : -1;
}

int waitForDescriptor(int fd, Waiting what, std::int64_t deadline)
{
    pollfd waiter{fd, static_cast<short>(what == Waiting::readable ? POLLIN : POLLOUT), 0};
    const int ready = poll(&waiter, 1, millisUntil(monotonicNanos(), deadline));
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    if (ready == 0)
        return 0;
    return (waiter.revents & POLLNVAL) != 0 ? -1 : 1;
}

int noSignalSendFlags() { return MSG_NOSIGNAL; }

void setNoSignalOnWrite(int) {}

} // namespace mexlink
