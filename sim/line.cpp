#include "line.hpp"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace linksim {

bool openLine(Line *line, std::string *slavePath)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return false;
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        close(master);
        return false;
    }
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (slave < 0 || tcgetattr(slave, &settings) != 0) {
        if (slave >= 0)
            close(slave);
        close(master);
        return false;
    }
    cfmakeraw(&settings);
    if (tcsetattr(slave, TCSANOW, &settings) != 0 || fcntl(master, F_SETFL, O_NONBLOCK) != 0
        || fcntl(master, F_SETFD, FD_CLOEXEC) != 0) {
        close(slave);
        close(master);
        return false;
    }
    line->master = master;
    line->slave = slave;
    *slavePath = name;
    return true;
}

void closeLine(Line *line)
{
    if (line->master >= 0)
        close(line->master);
    if (line->slave >= 0)
        close(line->slave);
    line->master = -1;
    line->slave = -1;
    line->pending.clear();
    line->pendingPos = 0;
}

bool lineOpen(const Line &line) { return line.master >= 0; }

bool outputPending(const Line &line) { return line.pendingPos < line.pending.size(); }

bool flushPending(Line *line)
{
    while (line->pendingPos < line->pending.size()) {
        const ssize_t n =
            write(line->master, line->pending.data() + line->pendingPos, line->pending.size() - line->pendingPos);
        if (n > 0) {
            line->pendingPos += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        return false;
    }
    if (line->pendingPos == line->pending.size()) {
        line->pending.clear();
        line->pendingPos = 0;
    }
    return true;
}

BurstStart startBurst(Line *line, const std::uint8_t *bytes, std::size_t count)
{
    if (!lineOpen(*line) || outputPending(*line))
        return BurstStart::notStarted;
    ssize_t written;
    do {
        written = write(line->master, bytes, count);
    } while (written < 0 && errno == EINTR);
    if (written < 0)
        return errno == EAGAIN ? BurstStart::notStarted : BurstStart::broken;
    if (static_cast<std::size_t>(written) < count) {
        line->pending.assign(bytes + written, bytes + count);
        line->pendingPos = 0;
    }
    return written > 0 ? BurstStart::started : BurstStart::notStarted;
}

LineRead readLine(const Line &line, std::vector<std::uint8_t> *into)
{
    std::uint8_t buffer[512];
    const ssize_t n = read(line.master, buffer, sizeof buffer);
    if (n > 0) {
        into->insert(into->end(), buffer, buffer + n);
        return LineRead::received;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR))
        return LineRead::broken;
    return LineRead::nothing;
}

} // namespace linksim
