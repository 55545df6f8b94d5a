#include "tcp_line.hpp"

#include "simulator.hpp"
#include "socket_calls.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace linksim {

namespace {

// A send or receive at a time; the queue hands over far less.
int chunk(std::size_t count) { return static_cast<int>(std::min<std::size_t>(count, 1 << 20)); }

// HOST and PORT of an address, numeric; an IPv6 host in brackets.
bool numericName(const sockaddr *address, AddressSize size, std::string *host, std::string *port)
{
    char hostText[NI_MAXHOST];
    char portText[NI_MAXSERV];
    if (getnameinfo(address, size, hostText, sizeof hostText, portText, sizeof portText,
                    NI_NUMERICHOST | NI_NUMERICSERV)
        != 0)
        return false;
    *host = std::strchr(hostText, ':') ? "[" + std::string(hostText) + "]" : hostText;
    *port = portText;
    return true;
}

enum class Listening { started, badAddress, inUse, failed };

// Listens on server->host and server->port; a port 0 becomes the one the
// system picked, so listening again takes the same one.
Listening startListening(TcpServer *server, std::string *why)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    if (getaddrinfo(server->host.c_str(), std::to_string(server->port).c_str(), &hints, &found) != 0)
        return Listening::badAddress;
    const Socket made = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    // A backlog of one: the client is taken at once, and listening stops. A
    // receive buffer of about what a pseudo-terminal takes in, set before
    // listening so that the connection opens with that small a window: a
    // client that writes on while the simulator stops reading fills the line
    // about as soon as on a pty, not after the 128 KiB a socket takes in.
    const int receiveBuffer = 4096;
    const bool listening = made != noSocket && makeNonBlocking(made) && allowListeningAgain(made)
                           && setsockopt(made, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char *>(&receiveBuffer),
                                         sizeof receiveBuffer)
                                  == 0
                           && bind(made, found->ai_addr, static_cast<AddressSize>(found->ai_addrlen)) == 0
                           && listen(made, 1) == 0;
    const int error = lastError();
    freeaddrinfo(found);
    sockaddr_storage bound{};
    AddressSize size = sizeof bound;
    std::string host;
    std::string port;
    if (!listening || getsockname(made, reinterpret_cast<sockaddr *>(&bound), &size) != 0
        || !numericName(reinterpret_cast<const sockaddr *>(&bound), size, &host, &port)) {
        const int cause = listening ? lastError() : error;
        *why = errorText(cause);
        if (made != noSocket)
            closeSocket(made);
        return inUse(cause) ? Listening::inUse : Listening::failed;
    }
    // A client on this machine reaches "any address" by its loopback.
    if (host == "0.0.0.0")
        host = "127.0.0.1";
    else if (host == "[::]")
        host = "[::1]";
    server->listener = made;
    server->port = std::stoi(port);
    server->name = "socket://" + host + ":" + port;
    return Listening::started;
}

} // namespace

TcpLine::~TcpLine() { closeSocket(socket); }

long TcpLine::read(std::uint8_t *buffer, std::size_t size)
{
    const auto n = recv(socket, reinterpret_cast<char *>(buffer), chunk(size), 0);
    if (n > 0)
        return static_cast<long>(n);
    const int error = n == 0 ? 0 : lastError();
    if (n < 0 && (wouldBlock(error) || interrupted(error)))
        return 0;
    why = n == 0 ? "client closed the connection" : resetByPeer(error) ? "client reset the connection" : "line error";
    return -1;
}

long TcpLine::write(const std::uint8_t *bytes, std::size_t count)
{
    for (;;) {
        const auto n = send(socket, reinterpret_cast<const char *>(bytes), chunk(count), sendFlags);
        if (n >= 0)
            return static_cast<long>(n);
        const int error = lastError();
        if (wouldBlock(error))
            return 0;
        if (!interrupted(error)) {
            why = resetByPeer(error) ? "client reset the connection" : "line error";
            return -1;
        }
    }
}

int openListener(TcpServer *server, const Options &options)
{
    server->host = options.listenHost;
    server->port = options.listenPort;
    std::string why;
    switch (startListening(server, &why)) {
    case Listening::started: return -1;
    case Listening::badAddress:
        return usageError("bad --listen address '" + server->host + "': an IPv4 address, or an IPv6 one in brackets");
    case Listening::inUse:
        // Most often a simulator started before, and still running.
        std::fprintf(stderr,
                     "linksim: port %d on %s is taken, by another simulator perhaps (%s): end that one, or take "
                     "another port with --listen\n",
                     server->port, server->host.c_str(), why.c_str());
        return 1;
    case Listening::failed: break;
    }
    std::fprintf(stderr, "linksim: listening on %s port %d: %s\n", server->host.c_str(), server->port, why.c_str());
    return 1;
}

void stopListening(TcpServer *server)
{
    if (server->listener != noSocket)
        closeSocket(server->listener);
    server->listener = noSocket;
}

bool listenBetweenClients(Simulator *simulator, TcpServer *server)
{
    if (lineOpen(simulator->line) || server->listener != noSocket)
        return true;
    std::string why;
    if (startListening(server, &why) == Listening::started)
        return true;
    std::fprintf(stderr, "linksim: listening again on %s: %s\n", server->name.c_str(), why.c_str());
    return false;
}

void acceptClient(Simulator *simulator, TcpServer *server)
{
    sockaddr_storage address{};
    AddressSize size = sizeof address;
    const Socket client = accept(server->listener, reinterpret_cast<sockaddr *>(&address), &size);
    if (client == noSocket)
        return; // it left before it was taken
    stopListening(server);
    // No Nagle delay: a frame goes out as soon as it is written. And a send
    // buffer of about what a pseudo-terminal holds, not the megabytes TCP
    // would grow it to: a client that stops reading fills the line as soon,
    // and frames are then dropped as on a pty rather than piled up.
    const int on = 1;
    const int sendBuffer = 4096;
    std::string host;
    std::string port;
    if (!makeNonBlocking(client)
        || setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on) != 0
        || setsockopt(client, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char *>(&sendBuffer), sizeof sendBuffer)
               != 0
        || !numericName(reinterpret_cast<const sockaddr *>(&address), size, &host, &port)) {
        closeSocket(client); // as if it had left: listening starts again
        return;
    }
    logLine(*simulator, "client " + host + ":" + port + " connected");
    openLine(simulator, std::make_unique<TcpLine>(client), Clock::now());
}

} // namespace linksim
