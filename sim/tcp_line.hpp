// The line as a TCP connection (--listen): raw bytes both ways, one client at
// a time. While a client is connected nothing listens, so a second one is
// refused at once, as a serial port held by another program is; once it
// goes, listening starts again on the same address and port. Plain BSD
// sockets, on POSIX and on Winsock alike.
#pragma once

#include "line.hpp"
#include "options.hpp"
#include "socket_calls.hpp"

#include <cstdint>
#include <memory>
#include <string>

namespace linksim {

struct Simulator;

class TcpLine : public LineEnd {
public:
    explicit TcpLine(Socket socket) : socket(socket) {}
    ~TcpLine() override;
    TcpLine(const TcpLine &) = delete;
    TcpLine &operator=(const TcpLine &) = delete;

    // What the event loop waits on.
    Socket handle() const { return socket; }

    long read(std::uint8_t *buffer, std::size_t size) override;
    long write(const std::uint8_t *bytes, std::size_t count) override;
    const char *whyBroken() const override { return why; }

private:
    Socket socket;
    const char *why = "line error";
};

struct TcpServer {
    std::string host;           // numeric, as given
    int port = 0;               // once listening: the port it took
    std::string name;           // once listening: socket://HOST:PORT
    Socket listener = noSocket; // while listening
};

// Listens on the address of --listen, and names it in server->name. Returns
// -1 if listening, else the exit code, with the reason on stderr.
int openListener(TcpServer *server, const Options &options);
void stopListening(TcpServer *server);

// Between clients: listening again once the line has closed. False, with the
// reason on stderr, if the port could not be had again.
bool listenBetweenClients(Simulator *simulator, TcpServer *server);

// The client waiting on the listener becomes the line, and listening stops.
// One that left before it was taken is passed over.
void acceptClient(Simulator *simulator, TcpServer *server);

} // namespace linksim
