// The socket calls as POSIX has them, for the simulator's TCP line.
#pragma once

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace linksim {

using Socket = int;
using AddressSize = socklen_t;
// A client gone is an error of send(), never a SIGPIPE.
constexpr int sendFlags = MSG_NOSIGNAL;

} // namespace linksim
