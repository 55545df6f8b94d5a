// Other POSIX kernels (macOS, the BSDs): no rate without a Bxxx constant,
// mark/space parity only where CMSPAR exists, a
// terminal's exclusive mode only where TIOCGEXCL tells it, and select(),
// because poll() does not work
// on terminals everywhere (macOS answers POLLNVAL for devices). A write to a
// closed connection raises no SIGPIPE through MSG_NOSIGNAL where it exists,
// else through the socket's SO_NOSIGPIPE (macOS).
#include "posix/kernel.hpp"

#include <algorithm>
#include <cerrno>
#include <ctime>

#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <termios.h>

#include "port/platform.hpp"

namespace mexlink {

unsigned long kernelInputModesOff()
{
    unsigned long modes = 0;
#ifdef IUCLC
    modes |= IUCLC;
#endif
#ifdef IMAXBEL
    modes |= IMAXBEL;
#endif
    return modes;
}

int setCustomBaud(int, std::uint32_t) { return 0; }

unsigned long stickParityFlag()
{
#ifdef CMSPAR
    return CMSPAR;
#else
    return 0;
#endif
}

int exclusiveModeSet(int fd)
{
#ifdef TIOCGEXCL
    int exclusive = 0;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 ? exclusive != 0 : -1;
#else
    (void)fd;
    return -1;
#endif
}

int waitForDescriptor(int fd, Waiting what, std::int64_t deadline)
{
    if (fd < 0)
        return -1;
    const std::int64_t waitNs =
        deadline == noDeadline ? noDeadline : std::max<std::int64_t>(deadline - monotonicNanos(), 0);
    // No deadline: select() waits without a time-out.
    timeval limit{};
    timeval *timeout = nullptr;
    if (deadline != noDeadline) {
        const std::int64_t micros = (waitNs + 999) / 1000;
        limit = timeval{static_cast<time_t>(micros / 1000000), static_cast<suseconds_t>(micros % 1000000)};
        timeout = &limit;
    }
    if (fd >= FD_SETSIZE) {
        // select() cannot take this descriptor: sleep a little, as a wait
        // that ran out; the caller tries again.
        const timespec pause{0, static_cast<long>(std::min(waitNs, nanosPerMilli))};
        nanosleep(&pause, nullptr);
        return 0;
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    const int ready = select(fd + 1, what == Waiting::readable ? &set : nullptr,
                             what == Waiting::writable ? &set : nullptr, nullptr, timeout);
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    return ready > 0 ? 1 : 0;
}

int noSignalSendFlags()
{
#ifdef MSG_NOSIGNAL
    return MSG_NOSIGNAL;
#else
    return 0;
#endif
}

void setNoSignalOnWrite(int fd)
{
#ifdef SO_NOSIGPIPE
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#else
    (void)fd;
#endif
}

} // namespace mexlink
