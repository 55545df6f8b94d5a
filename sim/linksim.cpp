// linksim: stands in for the robot controller on a pseudo-terminal.
//
// The client opens the printed slave path like a serial port. Telegrams it
// writes are parsed and logged; while a program runs, status frames are
// streamed back. See --help for options and control commands.

#include "background.hpp"
#include "control.hpp"
#include "frames.hpp"
#include "line.hpp"
#include "monotonic_clock.hpp"
#include "options.hpp"
#include "program.hpp"
#include "receiver.hpp"
#include "simulator.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

using namespace mexlink;

namespace linksim {

namespace {

bool openSignals(Simulator *simulator)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0)
        return false;
    simulator->signalFd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    signal(SIGPIPE, SIG_IGN);
    return simulator->signalFd >= 0;
}

void onTimers(Simulator *simulator, std::int64_t nowNs)
{
    if (simulator->hangupNs != 0 && nowNs >= simulator->hangupNs)
        hangUp(simulator, "hangup");
    if (!simulator->received.empty() && nowNs - simulator->receivedNs >= staleFragmentNs)
        processReceived(simulator, nowNs, true);
    Program &program = simulator->program;
    if (periodicActive(*simulator) && nowNs >= program.nextFrameNs) {
        emitStatus(simulator, nowNs, Emit::periodic);
        const std::int64_t period = millisToNanos(simulator->options.periodMs);
        program.nextFrameNs += period;
        if (program.nextFrameNs <= nowNs)
            program.nextFrameNs = nowNs + period; // fell behind: skip
    }
}

int pollTimeout(const Simulator &simulator, std::int64_t nowNs)
{
    std::int64_t next = noDeadline;
    if (!simulator.received.empty())
        next = simulator.receivedNs + staleFragmentNs;
    if (simulator.hangupNs != 0)
        next = std::min(next, simulator.hangupNs);
    if (periodicActive(simulator))
        next = std::min(next, simulator.program.nextFrameNs);
    return millisUntil(nowNs, next);
}

void onMaster(Simulator *simulator, short events)
{
    if (events & POLLIN) {
        const LineRead result = readLine(simulator->line, &simulator->received);
        const std::int64_t nowNs = monotonicNanos();
        if (result == LineRead::received) {
            simulator->receivedNs = nowNs;
            processReceived(simulator, nowNs, false);
        } else if (result == LineRead::broken) {
            hangUp(simulator, "line error");
            return;
        }
    }
    if (!lineOpen(simulator->line))
        return;
    if (events & POLLOUT) {
        if (!flushPending(&simulator->line)) {
            hangUp(simulator, "line error");
            return;
        }
        fillStream(simulator);
    }
    if (lineOpen(simulator->line) && (events & (POLLHUP | POLLERR)) && !(events & POLLIN))
        hangUp(simulator, "line error");
}

// Serves until a signal, quit, end of control input or (--exit-on-hangup) a
// hang-up. Returns the exit code.
int serve(Simulator *simulator)
{
    while (!simulator->done) {
        onTimers(simulator, monotonicNanos());
        if (simulator->done)
            break;
        pollfd fds[3];
        nfds_t count = 0;
        fds[count++] = {simulator->signalFd, POLLIN, 0};
        int masterIndex = -1;
        int controlIndex = -1;
        if (lineOpen(simulator->line)) {
            short events = POLLIN;
            if (outputPending(simulator->line) || streamActive(*simulator))
                events |= POLLOUT;
            masterIndex = static_cast<int>(count);
            fds[count++] = {simulator->line.master, events, 0};
        }
        if (simulator->controlOpen) {
            controlIndex = static_cast<int>(count);
            fds[count++] = {STDIN_FILENO, POLLIN, 0};
        }
        const int ready = poll(fds, count, pollTimeout(*simulator, monotonicNanos()));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::perror("linksim: poll");
            return 1;
        }
        if (fds[0].revents)
            break; // SIGINT or SIGTERM
        if (masterIndex >= 0 && fds[masterIndex].revents)
            onMaster(simulator, fds[masterIndex].revents);
        if (controlIndex >= 0 && fds[controlIndex].revents && !simulator->done)
            onControlInput(simulator);
    }
    return 0;
}

int run(Simulator *simulator)
{
    const Options &options = simulator->options;
    std::string device;
    if (!openSignals(simulator)) {
        std::perror("linksim: signals");
        return 1;
    }
    if (!options.logPath.empty()) {
        simulator->logFd = open(options.logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
        if (simulator->logFd < 0) {
            std::fprintf(stderr, "linksim: %s: %s\n", options.logPath.c_str(), std::strerror(errno));
            return 1;
        }
    }
    if (!openLine(&simulator->line, &device)) {
        std::perror("linksim: pseudo-terminal");
        return 1;
    }
    Handshake handshake;
    if (options.background) {
        const int status = detach(device, options.control, &handshake);
        if (status >= 0)
            return status;
    }
    simulator->controlOpen = options.control;
    simulator->program.startNs = simulator->program.modelNs = monotonicNanos();
    if (options.autostart)
        startProgram(simulator, options.autostartName, monotonicNanos());
    if (options.background)
        reportReady(&handshake);
    else
        reply(device);
    return serve(simulator);
}

} // namespace

} // namespace linksim

int main(int argc, char **argv)
{
    linksim::Simulator simulator;
    const int parsed = linksim::parseArguments(argc, argv, &simulator.options);
    if (parsed >= 0)
        return parsed;
    const int status = linksim::run(&simulator);
    linksim::closeLine(&simulator.line);
    if (simulator.logFd >= 0)
        close(simulator.logFd);
    if (simulator.signalFd >= 0)
        close(simulator.signalFd);
    return status;
}
