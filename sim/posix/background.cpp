#include "background.hpp"

#include "simulator.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace linksim {

namespace {

void closeBoth(const int ends[2])
{
    close(ends[0]);
    close(ends[1]);
}

bool stdoutToNull()
{
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0)
        return false;
    const bool moved = dup2(null, STDOUT_FILENO) == STDOUT_FILENO;
    close(null);
    return moved;
}

// Reads one byte; 0 on end of input.
ssize_t readByte(int fd)
{
    char byte;
    ssize_t n;
    do {
        n = read(fd, &byte, 1);
    } while (n < 0 && errno == EINTR);
    return n;
}

int detachChild(bool keepStdout)
{
    // A session of its own: the caller's terminal signals no longer reach it.
    if (setsid() < 0) {
        std::perror("linksim: setsid");
        return 1;
    }
    if (!keepStdout && !stdoutToNull()) {
        std::perror("linksim: /dev/null");
        return 1;
    }
    return -1;
}

int finishLaunch(pid_t child, const std::string &name, Handshake *handshake)
{
    int status = 0;
    if (readByte(handshake->ready) != 1) {
        waitpid(child, nullptr, 0);
        std::fprintf(stderr, "linksim: the background simulator did not start\n");
        status = 1;
    } else if (!reply(name + " " + std::to_string(child))) {
        std::perror("linksim: stdout");
        kill(child, SIGTERM); // nobody would learn its pid
        status = 1;
    }
    close(handshake->ready);
    close(handshake->goAhead);
    *handshake = Handshake{};
    return status;
}

} // namespace

int detach(const std::string &name, bool keepStdout, Handshake *handshake)
{
    int ready[2];
    int goAhead[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        std::perror("linksim: pipe");
        return 1;
    }
    if (pipe2(goAhead, O_CLOEXEC) != 0) {
        std::perror("linksim: pipe");
        closeBoth(ready);
        return 1;
    }
    const pid_t child = fork();
    if (child < 0) {
        std::perror("linksim: fork");
        closeBoth(ready);
        closeBoth(goAhead);
        return 1;
    }
    if (child == 0) {
        close(ready[0]);
        close(goAhead[1]);
        handshake->ready = ready[1];
        handshake->goAhead = goAhead[0];
        return detachChild(keepStdout);
    }
    close(ready[1]);
    close(goAhead[0]);
    handshake->ready = ready[0];
    handshake->goAhead = goAhead[1];
    return finishLaunch(child, name, handshake);
}

void reportReady(Handshake *handshake)
{
    const char byte = 1;
    ssize_t n;
    do {
        n = write(handshake->ready, &byte, 1);
    } while (n < 0 && errno == EINTR);
    close(handshake->ready);
    handshake->ready = -1;
    readByte(handshake->goAhead); // end of input: the launcher is done
    close(handshake->goAhead);
    handshake->goAhead = -1;
}

} // namespace linksim
