// linksim.exe: the simulator on Windows, which has no pseudo-terminals: it
// serves TCP only (tcp_line.hpp). Started with no --listen (a double-click)
// it listens on 127.0.0.1 at the default port and says in plain words what
// to pass to linkAttach.
//
// This is the Windows program around the simulator: the log, Ctrl-C and the
// console window closing (the console's control handler), the control input
// and the event loop. The loop waits in WaitForMultipleObjects for Ctrl-C,
// the socket (WSAEventSelect), a chunk of control input and the next wake
// time; whether the socket can be read or written it asks select() without
// waiting, each round, as poll() tells it on POSIX: the socket's event only
// wakes the loop.

#include "options.hpp"
#include "simulator.hpp"
#include "tcp_line.hpp"

#include <winsock2.h>

#include <windows.h>

// After <winsock2.h>, which must come before <windows.h>.
#include "control_input.hpp"

#include <mmsystem.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace linksim {

namespace {

// Set by the console's control handler, which is given no context.
HANDLE quitEvent = nullptr;

BOOL WINAPI onConsoleControl(DWORD type)
{
    SetEvent(quitEvent);
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT)
        return TRUE;
    // The window closes, or the user logs off: the system ends the process
    // as soon as this returns, so this waits for the loop to end it cleanly.
    Sleep(INFINITE);
    return TRUE;
}

// What the loop waits on besides the simulator's own state.
struct Waits {
    TcpServer server;
    WSAEVENT socketEvent = WSA_INVALID_EVENT; // wakes the loop for the socket
    ControlReader *control = nullptr;
};

// The client's line, if one is open.
TcpLine *client(const Simulator &simulator)
{
    return lineOpen(simulator.line) ? static_cast<TcpLine *>(simulator.line.end.get()) : nullptr;
}

struct Readiness {
    bool readable = false; // input, a client waiting, or the connection's end
    bool writable = false;
};

Readiness readiness(Socket socket, bool askWritable)
{
    fd_set readable;
    fd_set writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_SET(socket, &readable);
    FD_SET(socket, &writable);
    timeval none{0, 0};
    Readiness ready;
    if (select(0, &readable, askWritable ? &writable : nullptr, nullptr, &none) > 0) {
        ready.readable = FD_ISSET(socket, &readable);
        ready.writable = askWritable && FD_ISSET(socket, &writable);
    }
    return ready;
}

// Room on a full line is looked for again at least this often: Winsock
// signals room (FD_WRITE) only once a send found none, so a line filled to
// the byte would otherwise wait for the next frame.
constexpr std::chrono::milliseconds roomCheck{10};

// Serves until Ctrl-C, the window closing, quit, end of control input or
// (--exit-on-hangup) a hang-up. Returns the exit code.
int serve(Simulator *simulator, Waits *waits)
{
    while (!simulator->done) {
        onTimers(simulator, Clock::now());
        if (simulator->done)
            break;
        if (!listenBetweenClients(simulator, &waits->server))
            return 1;
        TcpLine *line = client(*simulator);
        const Socket socket = line ? line->handle() : waits->server.listener;
        const Instant now = Clock::now();
        const bool wantsWrite = line && wantsRoom(*simulator, now);
        // Anew each round: the socket changes with each client (and may take
        // the number of one closed), and room matters only when wanted.
        WSAResetEvent(waits->socketEvent);
        WSAEventSelect(socket, waits->socketEvent, FD_ACCEPT | FD_READ | FD_CLOSE | (wantsWrite ? FD_WRITE : 0));
        const Readiness ready = readiness(socket, wantsWrite);
        const bool writeNow = wantsWrite && ready.writable;
        const Instant wake = std::min(nextWake(*simulator, now), wantsWrite ? now + roomCheck : never);
        const int ms = ready.readable || writeNow ? 0 : waitMillis(now, wake);
        const HANDLE handles[3] = {quitEvent, waits->socketEvent, waits->control ? waits->control->ready : nullptr};
        const DWORD woke = WaitForMultipleObjects(simulator->controlOpen ? 3 : 2, handles, FALSE,
                                                  ms < 0 ? INFINITE : static_cast<DWORD>(ms));
        if (woke == WAIT_FAILED) {
            std::fprintf(stderr, "linksim: waiting failed (error %lu)\n", GetLastError());
            return 1;
        }
        if (woke == WAIT_OBJECT_0)
            break; // Ctrl-C, or the window closes
        if (ready.readable && line)
            onLineReadable(simulator);
        else if (ready.readable)
            acceptClient(simulator, &waits->server);
        if (writeNow && lineOpen(simulator->line))
            onLineWritable(simulator);
        if (woke == WAIT_OBJECT_0 + 2 && !simulator->done)
            takeControl(simulator, waits->control);
    }
    return 0;
}

// The log, truncated; "b" keeps its lines ending as on POSIX.
std::FILE *openLog(const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::perror(("linksim: " + path).c_str());
    return file;
}

// In plain words, for whoever started it by a double-click.
void announce(const std::string &name)
{
    reply("controller simulator on " + name + "; in MATLAB: h = linkAttach('" + name + "', 115200, 8, 0, 5)");
    reply("Ctrl-C or closing this window ends it; linksim --help lists its options");
}

// A console opened for this process alone (a double-click) closes with it:
// an error stays readable until Enter.
void keepErrorReadable()
{
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1)
        return;
    std::fputs("press Enter to close this window\n", stderr);
    std::getchar();
}

int run(Simulator *simulator, Waits *waits)
{
    const Options &options = simulator->options;
    if (!options.logPath.empty() && !(simulator->log = openLog(options.logPath)))
        return 1;
    const int status = openListener(&waits->server, options);
    if (status >= 0)
        return status;
    waits->socketEvent = WSACreateEvent();
    if (options.control)
        waits->control = startControlReader();
    if (waits->socketEvent == WSA_INVALID_EVENT || (options.control && !waits->control)) {
        std::fprintf(stderr, "linksim: events (error %lu)\n", GetLastError());
        return 1;
    }
    startServing(simulator, Clock::now());
    if (options.announce)
        announce(waits->server.name);
    else
        reply(waits->server.name);
    return serve(simulator, waits);
}

} // namespace

} // namespace linksim

int main(int argc, char **argv)
{
    // Lines end in "\n" alone, as on POSIX, for the programs that read them
    // (a console shows them as lines all the same).
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    linksim::Simulator simulator;
    const int parsed = linksim::parseArguments(argc, argv, &simulator.options);
    if (parsed >= 0)
        return parsed;
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) {
        std::fputs("linksim: Winsock did not start\n", stderr);
        return 1;
    }
    linksim::quitEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!linksim::quitEvent || !SetConsoleCtrlHandler(linksim::onConsoleControl, TRUE)) {
        std::fprintf(stderr, "linksim: Ctrl-C handler (error %lu)\n", GetLastError());
        return 1;
    }
    // Waits to the millisecond, not the system's 15.6 ms tick, while a link
    // paces the output.
    const bool fineTimer = linksim::linkModelled(simulator.options.link) && timeBeginPeriod(1) == TIMERR_NOERROR;
    linksim::Waits waits;
    const int status = linksim::run(&simulator, &waits);
    if (fineTimer)
        timeEndPeriod(1);
    linksim::stopListening(&waits.server);
    linksim::endServing(&simulator);
    if (status != 0 && simulator.options.announce)
        linksim::keepErrorReadable();
    return status;
}
