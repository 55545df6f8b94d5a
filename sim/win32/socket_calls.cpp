#include "socket_calls.hpp"

#include <windows.h>

namespace linksim {

int lastError() { return WSAGetLastError(); }
bool wouldBlock(int error) { return error == WSAEWOULDBLOCK; }
bool interrupted(int error) { return error == WSAEINTR; }
bool resetByPeer(int error) { return error == WSAECONNRESET || error == WSAECONNABORTED; }
bool inUse(int error) { return error == WSAEADDRINUSE; }

std::string errorText(int error)
{
    char text[256] = "";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    std::string said(text, n);
    while (!said.empty() && (said.back() == '\r' || said.back() == '\n' || said.back() == ' ' || said.back() == '.'))
        said.pop_back();
    return said.empty() ? "Winsock error " + std::to_string(error) : said;
}

void closeSocket(Socket socket) { closesocket(socket); }

bool makeNonBlocking(Socket socket)
{
    u_long on = 1;
    return ioctlsocket(socket, FIONBIO, &on) == 0;
}

// Windows lets a listener bind over the connection that just ended, and
// there SO_REUSEADDR would let another program bind the port it listens on.
bool allowListeningAgain(Socket) { return true; }

} // namespace linksim
