// linksim: stands in for the robot controller on a pseudo-terminal, or on
// TCP (--listen).
//
// The client opens the printed slave path like a serial port, or connects to
// the printed socket://HOST:PORT. Telegrams it writes are parsed and logged;
// while a program runs, status frames are streamed back. See --help for
// options and control commands.
//
// This is the POSIX program around the simulator: the log, the signals, the
// line, --background and the event loop (ppoll).

#include "options.hpp"
#include "background.hpp"
#include "pty.hpp"
#include "simulator.hpp"
#include "tcp_line.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace linksim {

namespace {

// What the loop waits on besides the simulator's own state.
struct Waits {
    int signals = -1; // SIGINT and SIGTERM, as a descriptor
    int pty = -1;     // the pseudo-terminal's, while it is open
    TcpServer server; // --listen
};

// The line's descriptor; the line must be open.
int lineDescriptor(const Simulator &simulator, const Waits &waits)
{
    return simulator.options.listen ? static_cast<const TcpLine &>(*simulator.line.end).handle() : waits.pty;
}

int openSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0)
        return -1;
    const int fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    signal(SIGPIPE, SIG_IGN);
    return fd;
}

// The wait until `wake`, rounded up to the microsecond: a paced link's bytes
// are a tenth of a millisecond apart. None for never.
const timespec *waitUntil(Instant now, Instant wake, timespec *wait)
{
    if (wake == never)
        return nullptr;
    const auto micros = std::chrono::ceil<std::chrono::microseconds>(std::max(wake - now, Clock::duration::zero()));
    wait->tv_sec = static_cast<time_t>(micros.count() / 1000000);
    wait->tv_nsec = static_cast<long>(micros.count() % 1000000 * 1000);
    return wait;
}

void onLineEvents(Simulator *simulator, short events)
{
    if (events & POLLIN)
        onLineReadable(simulator);
    if (lineOpen(simulator->line) && (events & POLLOUT))
        onLineWritable(simulator);
    if (lineOpen(simulator->line) && (events & (POLLHUP | POLLERR)) && !(events & POLLIN))
        lineBroke(simulator);
}

void readControl(Simulator *simulator)
{
    char buffer[4096];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0)
        onControlEnd(simulator);
    else
        onControlInput(simulator, buffer, static_cast<std::size_t>(n));
}

// Serves until a signal, quit, end of control input or (--exit-on-hangup) a
// hang-up. Returns the exit code.
int serve(Simulator *simulator, Waits *waits)
{
    while (!simulator->done) {
        onTimers(simulator, Clock::now());
        if (simulator->done)
            break;
        if (simulator->options.listen && !listenBetweenClients(simulator, &waits->server))
            return 1;
        const Instant now = Clock::now();
        pollfd fds[3];
        nfds_t count = 0;
        fds[count++] = {waits->signals, POLLIN, 0};
        int lineIndex = -1;
        int listenerIndex = -1;
        int controlIndex = -1;
        if (lineOpen(simulator->line)) {
            const short events = wantsRoom(*simulator, now) ? POLLIN | POLLOUT : POLLIN;
            lineIndex = static_cast<int>(count);
            fds[count++] = {lineDescriptor(*simulator, *waits), events, 0};
        } else if (waits->server.listener != noSocket) {
            listenerIndex = static_cast<int>(count);
            fds[count++] = {waits->server.listener, POLLIN, 0};
        }
        if (simulator->controlOpen) {
            controlIndex = static_cast<int>(count);
            fds[count++] = {STDIN_FILENO, POLLIN, 0};
        }
        timespec wait{};
        const int ready = ppoll(fds, count, waitUntil(now, nextWake(*simulator, now), &wait), nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::perror("linksim: poll");
            return 1;
        }
        if (fds[0].revents)
            break; // SIGINT or SIGTERM
        if (lineIndex >= 0 && fds[lineIndex].revents)
            onLineEvents(simulator, fds[lineIndex].revents);
        if (listenerIndex >= 0 && fds[listenerIndex].revents)
            acceptClient(simulator, &waits->server);
        if (controlIndex >= 0 && fds[controlIndex].revents && !simulator->done)
            readControl(simulator);
    }
    return 0;
}

// The log, truncated, for this process and a --background child alike.
std::FILE *openLog(const std::string &path)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    std::FILE *file = fd < 0 ? nullptr : fdopen(fd, "a");
    if (!file) {
        std::fprintf(stderr, "linksim: %s: %s\n", path.c_str(), std::strerror(errno));
        if (fd >= 0)
            close(fd);
    }
    return file;
}

int run(Simulator *simulator, Waits *waits)
{
    const Options &options = simulator->options;
    waits->signals = openSignals();
    if (waits->signals < 0) {
        std::perror("linksim: signals");
        return 1;
    }
    if (!options.logPath.empty() && !(simulator->log = openLog(options.logPath)))
        return 1;
    // The name the client opens.
    std::string name;
    if (options.listen) {
        const int status = openListener(&waits->server, options);
        if (status >= 0)
            return status;
        name = waits->server.name;
    } else {
        std::unique_ptr<PtyLine> pty = openPty(&name);
        if (!pty) {
            std::perror("linksim: pseudo-terminal");
            return 1;
        }
        waits->pty = pty->fd();
        simulator->line.end = std::move(pty);
    }
    Handshake handshake;
    if (options.background) {
        const int status = detach(name, options.control, &handshake);
        if (status >= 0)
            return status;
    }
    startServing(simulator, Clock::now());
    if (options.background)
        reportReady(&handshake);
    else
        reply(name);
    return serve(simulator, waits);
}

} // namespace

} // namespace linksim

int main(int argc, char **argv)
{
    linksim::Simulator simulator;
    const int parsed = linksim::parseArguments(argc, argv, &simulator.options);
    if (parsed >= 0)
        return parsed;
    linksim::Waits waits;
    const int status = linksim::run(&simulator, &waits);
    linksim::stopListening(&waits.server);
    linksim::endServing(&simulator);
    if (waits.signals >= 0)
        close(waits.signals);
    return status;
}
