#include "pty_pair.hpp"

#include "port/platform.hpp"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace mexlink;

PtyPair openPtyPair()
{
    PtyPair pair;
    pair.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pair.master < 0 || grantpt(pair.master) != 0 || unlockpt(pair.master) != 0)
        throw std::runtime_error("cannot create a pseudo-terminal");
    pair.slavePath = ptsname(pair.master);
    // The master echoes nothing and translates nothing either.
    termios settings{};
    tcgetattr(pair.master, &settings);
    cfmakeraw(&settings);
    tcsetattr(pair.master, TCSANOW, &settings);
    return pair;
}

void closeMaster(PtyPair *pair)
{
    if (pair->master >= 0)
        close(pair->master);
    pair->master = -1;
}

int openDescriptorCount()
{
    int count = 0;
    DIR *dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return -1;
    while (readdir(dir) != nullptr)
        ++count;
    closedir(dir);
    return count;
}

std::int64_t monotonicMillis() { return monotonicNanos() / nanosPerMilli; }

std::vector<std::uint8_t> readMaster(int master, std::size_t wanted, int timeoutMs)
{
    std::vector<std::uint8_t> got;
    const std::int64_t end = monotonicMillis() + timeoutMs;
    while (got.size() < wanted) {
        const std::int64_t left = end - monotonicMillis();
        if (left <= 0)
            break;
        pollfd waiter{master, POLLIN, 0};
        if (poll(&waiter, 1, static_cast<int>(left)) <= 0)
            continue;
        std::uint8_t buffer[512];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

void writeMaster(int master, const std::vector<std::uint8_t> &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error("write to the pseudo-terminal master failed");
        done += static_cast<std::size_t>(n);
    }
}
