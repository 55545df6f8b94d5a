#include "pty.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace linksim {

PtyLine::~PtyLine()
{
    close(master);
    close(slave);
}

long PtyLine::read(std::uint8_t *buffer, std::size_t size)
{
    const ssize_t n = ::read(master, buffer, size);
    if (n > 0)
        return static_cast<long>(n);
    if (n == 0 || (errno != EAGAIN && errno != EINTR))
        return -1;
    return 0;
}

long PtyLine::write(const std::uint8_t *bytes, std::size_t count)
{
    ssize_t n;
    do {
        n = ::write(master, bytes, count);
    } while (n < 0 && errno == EINTR);
    if (n >= 0)
        return static_cast<long>(n);
    return errno == EAGAIN ? 0 : -1;
}

bool PtyLine::windowSize(const WindowSize *set, WindowSize *current)
{
    // Rows, columns and the size in pixels, shared by every opener of the
    // terminal.
    winsize size{};
    if (set) {
        size = winsize{set->rows, set->columns, set->xPixels, set->yPixels};
        if (ioctl(master, TIOCSWINSZ, &size) != 0)
            return false;
    }
    if (ioctl(master, TIOCGWINSZ, &size) != 0)
        return false;
    *current = WindowSize{size.ws_row, size.ws_col, size.ws_xpixel, size.ws_ypixel};
    return true;
}

bool PtyLine::holdExclusive(bool on)
{
    // The simulator's own descriptor of the terminal: another program that
    // had it open before the client.
    return ioctl(slave, on ? TIOCEXCL : TIOCNXCL) == 0;
}

std::unique_ptr<PtyLine> openPty(std::string *slavePath)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return nullptr;
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        close(master);
        return nullptr;
    }
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (slave < 0 || tcgetattr(slave, &settings) != 0) {
        if (slave >= 0)
            close(slave);
        close(master);
        return nullptr;
    }
    cfmakeraw(&settings);
    if (tcsetattr(slave, TCSANOW, &settings) != 0 || fcntl(master, F_SETFL, O_NONBLOCK) != 0
        || fcntl(master, F_SETFD, FD_CLOEXEC) != 0) {
        close(slave);
        close(master);
        return nullptr;
    }
    *slavePath = name;
    return std::make_unique<PtyLine>(master, slave);
}

} // namespace linksim
