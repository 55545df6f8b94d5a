#include "posix_extras.hpp"

#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace linux_tty {
int setCustomBaud(int fd, std::uint32_t rate);
int exclusiveModeMayBeSet(int fd);
unsigned stickParityFlag();
} // namespace linux_tty

int setCustomBaud(int fd, std::uint32_t rate) { return linux_tty::setCustomBaud(fd, rate); }

int exclusiveModeMayBeSet(int fd) { return linux_tty::exclusiveModeMayBeSet(fd); }

int setStickParity(termios *settings, bool mark)
{
    settings->c_cflag |= PARENB | linux_tty::stickParityFlag();
    if (mark)
        settings->c_cflag |= PARODD;
    else
        settings->c_cflag &= ~PARODD;
    return 1;
}

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
