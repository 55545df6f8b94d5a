// Win32: connecting to socket://HOST:PORT through Winsock; the calls on the
// connected socket are win32/socket_port.cpp's.
//
// - The host is looked up by getaddrinfo() in a thread of its own, which the
//   caller waits for in slices (port/open_close.cpp bounds the whole attach
//   and sees Ctrl-C). A lookup the caller stops waiting for is left to
//   finish: the thread then frees what it holds, and the plug-in is pinned,
//   so the thread never returns into code a `clear` unloaded.
// - Each address found is tried in turn, by a non-blocking connect (a
//   failed one shows in select()'s exception set).
// - Once connected: no Nagle delay (each telegram goes out at once), and a
//   send buffer of a serial port's size (setUpConnectedSocket).
#include "win32/socket.hpp"

#include <cstdlib>
#include <cstring>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include "win32/handle.hpp"
#include "win32/socket_wait.hpp"

namespace mexlink {

struct SocketLookup {
    HANDLE thread;
    HANDLE finishing; // set once the lookup's answer is in
    CRITICAL_SECTION lock;
    // Under `lock`:
    bool finished;
    bool abandoned;
    // Written by the thread before `finished`:
    int answer;
    addrinfo *addresses;
    const addrinfo *next;
    char host[socketHostCapacity];
    char service[socketServiceCapacity];
    // Once found, the caller's: the socket connecting (INVALID_SOCKET when
    // none), whether an address refused, and why the last one failed.
    SOCKET connecting;
    bool refusedSeen;
    int lastError;
};

namespace {

bool startWinsock()
{
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void freeLookup(SocketLookup *lookup)
{
    if (lookup->addresses != nullptr)
        freeaddrinfo(lookup->addresses);
    CloseHandle(lookup->finishing);
    DeleteCriticalSection(&lookup->lock);
    std::free(lookup);
}

DWORD WINAPI lookUp(void *argument)
{
    auto *lookup = static_cast<SocketLookup *>(argument);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const bool started = startWinsock();
    const int answer = started ? getaddrinfo(lookup->host, lookup->service, &hints, &found) : WSANOTINITIALISED;
    EnterCriticalSection(&lookup->lock);
    lookup->answer = answer;
    lookup->addresses = answer == 0 ? found : nullptr;
    lookup->next = lookup->addresses;
    lookup->finished = true;
    const bool abandoned = lookup->abandoned;
    SetEvent(lookup->finishing);
    LeaveCriticalSection(&lookup->lock);
    if (abandoned)
        freeLookup(lookup);
    if (started)
        WSACleanup();
    return 0;
}

// A socket whose number the record does not name as recently freed, where
// the process has one; the others made on the way are closed again.
SOCKET freshSocket(const addrinfo &address, const PortRecord &record)
{
    SOCKET tried[freedNumbersKept + 1];
    std::uint32_t triedCount = 0;
    SOCKET chosen = socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    while (chosen != INVALID_SOCKET && triedCount <= freedNumbersKept
           && recentlyFreed(record, static_cast<std::uint32_t>(chosen))) {
        tried[triedCount++] = chosen;
        chosen = socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    }
    for (std::uint32_t i = 0; i < triedCount; ++i)
        closesocket(tried[i]);
    return chosen;
}

// Starts connecting to the next address; false when there is none left.
bool connectNext(SocketLookup *lookup, const PortRecord &record)
{
    while (lookup->next != nullptr) {
        const addrinfo *address = lookup->next;
        lookup->next = address->ai_next;
        const SOCKET made = freshSocket(*address, record);
        if (made == INVALID_SOCKET) {
            lookup->lastError = WSAGetLastError();
            continue;
        }
        SetHandleInformation(reinterpret_cast<HANDLE>(made), HANDLE_FLAG_INHERIT, 0);
        u_long nonBlocking = 1;
        if (ioctlsocket(made, FIONBIO, &nonBlocking) == 0
            && (connect(made, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0
                || WSAGetLastError() == WSAEWOULDBLOCK)) {
            lookup->connecting = made;
            return true;
        }
        lookup->lastError = WSAGetLastError();
        lookup->refusedSeen = lookup->refusedSeen || lookup->lastError == WSAECONNREFUSED;
        closesocket(made);
    }
    return false;
}

} // namespace

SocketLookup *socketLookupStart(const SocketName &name)
{
    // The attach holds a start-up of its own from here to socketLookupEnd,
    // so the count never drops to zero between the thread's and the
    // socket's: at zero Winsock closes the process's sockets, and under
    // Wine a connect begun just then fails with no cause it can give.
    if (!startWinsock())
        return nullptr;
    auto *lookup = static_cast<SocketLookup *>(std::calloc(1, sizeof(SocketLookup)));
    if (lookup == nullptr) {
        WSACleanup();
        return nullptr;
    }
    std::memcpy(lookup->host, name.host, sizeof name.host);
    std::memcpy(lookup->service, name.service, sizeof name.service);
    lookup->connecting = INVALID_SOCKET;
    InitializeCriticalSection(&lookup->lock);
    lookup->finishing = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    lookup->thread = lookup->finishing == nullptr ? nullptr : CreateThread(nullptr, 0, lookUp, lookup, 0, nullptr);
    if (lookup->thread == nullptr) {
        if (lookup->finishing != nullptr)
            CloseHandle(lookup->finishing);
        DeleteCriticalSection(&lookup->lock);
        std::free(lookup);
        WSACleanup();
        return nullptr;
    }
    return lookup;
}

LookupState socketLookupWait(SocketLookup *lookup, std::int64_t deadline, char *cause)
{
    const int waitMs = millisUntil(monotonicNanos(), deadline);
    WaitForSingleObject(lookup->finishing, waitMs < 0 ? INFINITE : static_cast<DWORD>(waitMs));
    EnterCriticalSection(&lookup->lock);
    const bool finished = lookup->finished;
    LeaveCriticalSection(&lookup->lock);
    if (!finished)
        return LookupState::pending;
    if (lookup->answer == 0)
        return LookupState::found;
    describeError(static_cast<DWORD>(lookup->answer), cause, causeCapacity);
    return LookupState::notFound;
}

OpenOutcome socketConnectWait(SocketLookup *lookup, const PortRecord &record, std::int64_t deadline, Port *port,
                              char *cause)
{
    for (;;) {
        // Each socket holds its own start-up of Winsock, given back by its close.
        if (lookup->connecting == INVALID_SOCKET) {
            if (!startWinsock())
                return OpenOutcome::refused;
            if (!connectNext(lookup, record)) {
                WSACleanup();
                if (lookup->lastError != 0)
                    describeError(static_cast<DWORD>(lookup->lastError), cause, causeCapacity);
                return lookup->refusedSeen ? OpenOutcome::connectionRefused : OpenOutcome::refused;
            }
        }
        const int ready = waitForSocket(lookup->connecting, Await::connected, deadline);
        if (ready == 0)
            return OpenOutcome::timedOut;
        int error = 0;
        int size = sizeof error;
        if (getsockopt(lookup->connecting, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &size) != 0)
            error = WSAENOTSOCK;
        if (ready > 0 && error == 0) {
            const SOCKET made = lookup->connecting;
            lookup->connecting = INVALID_SOCKET;
            if (!setUpConnectedSocket(made)) {
                closesocket(made);
                WSACleanup();
                return OpenOutcome::refused;
            }
            port->handle = static_cast<std::uint32_t>(made);
            port->device = 0;
            port->kind = PortKind::socket;
            return OpenOutcome::opened;
        }
        lookup->lastError = error;
        lookup->refusedSeen = lookup->refusedSeen || error == WSAECONNREFUSED;
        closesocket(lookup->connecting);
        lookup->connecting = INVALID_SOCKET;
        WSACleanup();
    }
}

void socketLookupEnd(SocketLookup *lookup)
{
    if (lookup->connecting != INVALID_SOCKET) {
        closesocket(lookup->connecting);
        WSACleanup();
    }
    // From the moment it is abandoned the lookup is the thread's to free.
    const HANDLE thread = lookup->thread;
    EnterCriticalSection(&lookup->lock);
    const bool finished = lookup->finished;
    lookup->abandoned = !finished;
    LeaveCriticalSection(&lookup->lock);
    if (finished) {
        // The thread has let go of the lookup; once it has ended, it has left
        // this code too.
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        freeLookup(lookup);
    } else {
        HMODULE self = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCSTR>(&freeLookup), &self);
        CloseHandle(thread);
    }
    WSACleanup();
}

} // namespace mexlink
