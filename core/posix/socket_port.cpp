// POSIX: socket://HOST:PORT as a port, a TCP connection whose descriptor the
// calls on an attached port (posix/descriptor.cpp) take as they take a
// terminal's. The record keeps the socket's inode beside its number.
//
// - The host is looked up by getaddrinfo() in a thread of its own, which the
//   caller waits for in slices (port/open_close.cpp bounds the whole attach
//   and sees Ctrl-C). The thread blocks every signal, so the host's signals
//   reach the host's own threads as before. A lookup the caller stops
//   waiting for is left to finish: the thread then frees what it holds, and
//   the plug-in is kept loaded, so the thread never returns into code a
//   `clear` unloaded.
// - Each address found is tried in turn, by a non-blocking connect.
// - Once connected: no Nagle delay (each telegram goes out at once), a send
//   buffer of a serial port's size (port/platform.hpp), and no SIGPIPE when
//   the other end has gone (posix/kernel.hpp).
#include "port/platform.hpp"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "posix/descriptor.hpp"

namespace mexlink {

struct SocketLookup {
    pthread_t thread;
    pthread_mutex_t lock;
    pthread_cond_t finishing;
    // Under `lock`:
    bool finished;
    bool abandoned;
    // Written by the thread before `finished`:
    int answer;
    addrinfo *addresses;
    char host[socketHostCapacity];
    char service[socketServiceCapacity];
    // Once found, the caller's: the address to try next, the socket
    // connecting (-1 when none), whether an address refused, and why the
    // last one failed.
    const addrinfo *next;
    int connecting;
    bool refusedSeen;
    int lastError;
};

namespace {

void freeLookup(SocketLookup *lookup)
{
    if (lookup->addresses != nullptr)
        freeaddrinfo(lookup->addresses);
    pthread_cond_destroy(&lookup->finishing);
    pthread_mutex_destroy(&lookup->lock);
    std::free(lookup);
}

void *lookUp(void *argument)
{
    auto *lookup = static_cast<SocketLookup *>(argument);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const int answer = getaddrinfo(lookup->host, lookup->service, &hints, &found);
    pthread_mutex_lock(&lookup->lock);
    lookup->answer = answer;
    lookup->addresses = answer == 0 ? found : nullptr;
    lookup->next = lookup->addresses;
    lookup->finished = true;
    const bool abandoned = lookup->abandoned;
    pthread_cond_signal(&lookup->finishing);
    pthread_mutex_unlock(&lookup->lock);
    if (abandoned)
        freeLookup(lookup);
    return nullptr;
}

// The plug-in this code is in stays loaded until the process ends.
void keepThisModuleLoaded()
{
    Dl_info self{};
    if (dladdr(reinterpret_cast<void *>(&keepThisModuleLoaded), &self) != 0 && self.dli_fname != nullptr)
        dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

OpenOutcome connected(SocketLookup *lookup, Port *port)
{
    const int fd = lookup->connecting;
    lookup->connecting = -1;
    struct stat file {};
    const int on = 1;
    if (fstat(fd, &file) != 0 || setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0
        || setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &socketSendBufferBytes, sizeof socketSendBufferBytes) != 0) {
        close(fd);
        return OpenOutcome::refused;
    }
    port->handle = static_cast<std::uint32_t>(fd);
    port->device = static_cast<std::uint64_t>(file.st_ino);
    port->kind = PortKind::socket;
    return OpenOutcome::opened;
}

// Starts connecting to the next address; false when there is none left.
bool connectNext(SocketLookup *lookup, const PortRecord &record)
{
    while (lookup->next != nullptr) {
        const addrinfo *address = lookup->next;
        lookup->next = address->ai_next;
        const int made = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (made < 0) {
            lookup->lastError = errno;
            continue;
        }
        const int fd = freshNumber(made, record);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        setNoSignalOnWrite(fd);
        if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) == 0
            && (connect(fd, address->ai_addr, address->ai_addrlen) == 0 || errno == EINPROGRESS)) {
            lookup->connecting = fd;
            return true;
        }
        lookup->lastError = errno;
        lookup->refusedSeen = lookup->refusedSeen || errno == ECONNREFUSED;
        close(fd);
    }
    return false;
}

} // namespace

SocketLookup *socketLookupStart(const SocketName &name)
{
    auto *lookup = static_cast<SocketLookup *>(std::calloc(1, sizeof(SocketLookup)));
    if (lookup == nullptr)
        return nullptr;
    std::memcpy(lookup->host, name.host, sizeof name.host);
    std::memcpy(lookup->service, name.service, sizeof name.service);
    lookup->connecting = -1;
    pthread_mutex_init(&lookup->lock, nullptr);
    pthread_cond_init(&lookup->finishing, nullptr);
    sigset_t all;
    sigset_t kept;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &kept);
    const int started = pthread_create(&lookup->thread, nullptr, lookUp, lookup);
    pthread_sigmask(SIG_SETMASK, &kept, nullptr);
    if (started != 0) {
        freeLookup(lookup);
        return nullptr;
    }
    return lookup;
}

LookupState socketLookupWait(SocketLookup *lookup, std::int64_t deadline, char *cause)
{
    pthread_mutex_lock(&lookup->lock);
    const std::int64_t waitNs = deadline - monotonicNanos();
    if (!lookup->finished && waitNs > 0) {
        // The wait is a slice at most; the wall clock it is measured on only
        // has to be roughly right for that long.
        timespec until{};
        clock_gettime(CLOCK_REALTIME, &until);
        const std::int64_t ns = until.tv_nsec + (waitNs < nanosPerSecond ? waitNs : nanosPerSecond);
        until.tv_sec += static_cast<time_t>(ns / nanosPerSecond);
        until.tv_nsec = static_cast<long>(ns % nanosPerSecond);
        pthread_cond_timedwait(&lookup->finishing, &lookup->lock, &until);
    }
    const bool finished = lookup->finished;
    pthread_mutex_unlock(&lookup->lock);
    if (!finished)
        return LookupState::pending;
    if (lookup->answer == 0)
        return LookupState::found;
    std::strncpy(cause, gai_strerror(lookup->answer), causeCapacity - 1);
    cause[causeCapacity - 1] = '\0';
    return LookupState::notFound;
}

OpenOutcome socketConnectWait(SocketLookup *lookup, const PortRecord &record, std::int64_t deadline, Port *port,
                              char *cause)
{
    for (;;) {
        if (lookup->connecting < 0 && !connectNext(lookup, record)) {
            describeError(lookup->lastError, cause);
            return lookup->refusedSeen ? OpenOutcome::connectionRefused : OpenOutcome::refused;
        }
        const int ready = waitForDescriptor(lookup->connecting, Waiting::writable, deadline);
        if (ready == 0)
            return OpenOutcome::timedOut;
        int error = 0;
        socklen_t size = sizeof error;
        if (ready < 0 || getsockopt(lookup->connecting, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            error = EBADF;
        if (error == 0)
            return connected(lookup, port);
        lookup->lastError = error;
        lookup->refusedSeen = lookup->refusedSeen || error == ECONNREFUSED;
        close(lookup->connecting);
        lookup->connecting = -1;
    }
}

void socketLookupEnd(SocketLookup *lookup)
{
    if (lookup->connecting >= 0)
        close(lookup->connecting);
    // From the moment it is abandoned the lookup is the thread's to free.
    const pthread_t thread = lookup->thread;
    pthread_mutex_lock(&lookup->lock);
    const bool finished = lookup->finished;
    lookup->abandoned = !finished;
    pthread_mutex_unlock(&lookup->lock);
    if (finished) {
        // The thread has let go of the lookup; joined, it has left this
        // code too.
        pthread_join(thread, nullptr);
        freeLookup(lookup);
        return;
    }
    keepThisModuleLoaded();
    pthread_detach(thread);
}

} // namespace mexlink
