// POSIX: the proof is on the open file the attach made, T on its terminal.
//
// - The open file carries O_APPEND, which a terminal ignores and which only
//   the attach sets. Another open file of the same terminal (a second open,
//   a stale number reused) lacks it. Where the kernel keeps an owner per open
//   file (posix_kernel.hpp), it also names this process, so a forked child
//   sharing the open file is refused too.
// - T rides in the terminal's window size in pixels (ws_xpixel, ws_ypixel),
//   which serial lines never use and stty never sets; stty changes the keys,
//   modes, rate, rows and columns, none of which the proof reads.
#include "port_proof.hpp"

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "posix_kernel.hpp"

namespace mexlink {

namespace {

constexpr int openFileMark = O_APPEND;

int descriptorOf(std::uint32_t handle) { return handle > static_cast<std::uint32_t>(INT_MAX) ? -1 : int(handle); }

int setOpenFileMark(int fd, bool on)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0)
        return 0;
    return fcntl(fd, F_SETFL, on ? flags | openFileMark : flags & ~openFileMark) == 0;
}

int storeTimeout(int fd, std::uint32_t timeoutMs)
{
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0)
        return 0;
    size.ws_xpixel = static_cast<unsigned short>(timeoutMs & 0xFFFFu);
    size.ws_ypixel = static_cast<unsigned short>(timeoutMs >> 16);
    return ioctl(fd, TIOCSWINSZ, &size) == 0;
}

} // namespace

int markAttached(std::uint32_t handle, std::uint32_t timeoutMs)
{
    const int fd = descriptorOf(handle);
    winsize found{};
    if (fd < 0 || ioctl(fd, TIOCGWINSZ, &found) != 0)
        return 0;
    std::uint32_t stored = 0;
    if (storeTimeout(fd, timeoutMs) && markOwner(fd) && setOpenFileMark(fd, true)
        && proveAttached(handle, &stored) == Proof::ours && stored == timeoutMs)
        return 1;
    // A mark that did not take leaves the terminal as it was found.
    ioctl(fd, TIOCSWINSZ, &found);
    setOpenFileMark(fd, false);
    return 0;
}

Proof proveAttached(std::uint32_t handle, std::uint32_t *timeoutMs)
{
    const int fd = descriptorOf(handle);
    const int flags = fd < 0 ? -1 : fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & openFileMark) == 0 || !ownedHere(fd))
        return Proof::notOurs;
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0)
        return errno == EIO || errno == ENXIO ? Proof::oursFailed : Proof::notOurs;
    *timeoutMs = static_cast<std::uint32_t>(size.ws_xpixel) | static_cast<std::uint32_t>(size.ws_ypixel) << 16;
    return Proof::ours;
}

void unmarkAttached(std::uint32_t handle)
{
    const int fd = descriptorOf(handle);
    if (fd < 0)
        return;
    storeTimeout(fd, 0);
    setOpenFileMark(fd, false);
}

} // namespace mexlink
