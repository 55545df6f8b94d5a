// The socket calls as Winsock has them, for the simulator's TCP line.
#pragma once

#include <cstdint>

#include <winsock2.h>
#include <ws2tcpip.h>

namespace linksim {

using Socket = std::uintptr_t; // Winsock's SOCKET
using AddressSize = int;
constexpr int sendFlags = 0;

} // namespace linksim
