#include "socket_calls.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace linksim {

int lastError() { return errno; }
bool wouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }
bool interrupted(int error) { return error == EINTR; }
bool resetByPeer(int error) { return error == ECONNRESET || error == ECONNABORTED || error == EPIPE; }
bool inUse(int error) { return error == EADDRINUSE; }
std::string errorText(int error) { return std::strerror(error); }

void closeSocket(Socket socket) { close(socket); }

bool makeNonBlocking(Socket socket)
{
    return fcntl(socket, F_SETFL, fcntl(socket, F_GETFL) | O_NONBLOCK) == 0 && fcntl(socket, F_SETFD, FD_CLOEXEC) == 0;
}

// Without SO_REUSEADDR, binding waits out the TIME_WAIT this side keeps
// after a hang-up.
bool allowListeningAgain(Socket socket)
{
    const int on = 1;
    return setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

} // namespace linksim
