// The calls on an attached port, a terminal or a socket alike but where noted.
#include "posix/descriptor.hpp"

#include <cstring>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace mexlink {

int freshNumber(int fd, const PortRecord &record)
{
    int chosen = fd;
    for (std::uint32_t tries = 0; tries <= freedNumbersKept && recentlyFreed(record, static_cast<std::uint32_t>(chosen));
         ++tries) {
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, chosen + 1);
        if (moved < 0)
            break;
        if (chosen != fd)
            close(chosen);
        chosen = moved;
    }
    if (chosen != fd)
        close(fd);
    return chosen;
}

void describeError(int error, char *cause)
{
    std::strncpy(cause, error == 0 ? "" : std::strerror(error), causeCapacity - 1);
    cause[causeCapacity - 1] = '\0';
}

void portAbandon(const Port &port) { close(static_cast<int>(port.handle)); }

int portNamesItsDevice(const Port &port)
{
    // A terminal is known by its device number, a socket by its inode.
    struct stat now {};
    if (fstat(static_cast<int>(port.handle), &now) != 0)
        return 0;
    if (port.kind == PortKind::socket)
        return S_ISSOCK(now.st_mode) && static_cast<std::uint64_t>(now.st_ino) == port.device;
    return S_ISCHR(now.st_mode) && static_cast<std::uint64_t>(now.st_rdev) == port.device;
}

int portRead(const Port &port, std::uint8_t *bytes, std::uint32_t room, std::int64_t deadline, std::uint32_t *got)
{
    const int fd = static_cast<int>(port.handle);
    return transferOnce(fd, Waiting::readable, deadline, got, [&] { return read(fd, bytes, room); });
}

int portWrite(const Port &port, const std::uint8_t *bytes, std::uint32_t count, std::int64_t deadline,
              std::uint32_t *written)
{
    const int fd = static_cast<int>(port.handle);
    if (port.kind == PortKind::socket)
        return transferOnce(fd, Waiting::writable, deadline, written,
                            [&] { return send(fd, bytes, count, noSignalSendFlags()); });
    return transferOnce(fd, Waiting::writable, deadline, written, [&] { return write(fd, bytes, count); });
}

std::uint32_t portOutputQueued(const Port &port)
{
    int queued = 0;
    return port.kind == PortKind::serial && ioctl(static_cast<int>(port.handle), TIOCOUTQ, &queued) == 0 && queued > 0
               ? std::uint32_t(queued)
               : 0;
}

int portClose(const Port &port, bool drained)
{
    const int fd = static_cast<int>(port.handle);
    if (port.kind == PortKind::serial) {
        // The kernel would wait up to its closing delay for unsent output;
        // what the drain left is discarded instead.
        if (!drained)
            tcflush(fd, TCOFLUSH);
        // Exclusive mode belongs to the device and would outlive this
        // descriptor, keeping every later open by a non-root user out.
        ioctl(fd, TIOCNXCL);
    }
    return close(fd) == 0 || errno == EINTR;
}

} // namespace mexlink
