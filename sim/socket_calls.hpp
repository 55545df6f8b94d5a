// What POSIX and Winsock name differently, under one name each: the types
// in each platform's socket_system.hpp, the calls in its socket_calls.cpp.
#pragma once

#include "socket_system.hpp"

#include <string>

namespace linksim {

constexpr Socket noSocket = static_cast<Socket>(-1);

// The last socket call's error, and what it means.
int lastError();
bool wouldBlock(int error);
bool interrupted(int error);
bool resetByPeer(int error);
bool inUse(int error);
std::string errorText(int error);

void closeSocket(Socket socket);
// Not blocking (on POSIX also closed in programs started later).
bool makeNonBlocking(Socket socket);
// Listening again on the port of the connection that just ended is not refused.
bool allowListeningAgain(Socket socket);

} // namespace linksim
