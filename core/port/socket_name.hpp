// A port name of the form socket://HOST:PORT names a TCP connection instead
// of a serial device: a serial bridge on the network, or the simulator. Pure.
#pragma once

#include <cstdint>

namespace mexlink {

constexpr char socketScheme[] = "socket://";
// Room for the longest host a name lookup takes (253 characters, or an IPv6
// address in brackets with its zone), and for "65535".
constexpr std::uint32_t socketHostCapacity = 256;
constexpr std::uint32_t socketServiceCapacity = 6;

struct SocketName {
    char host[socketHostCapacity];       // without the brackets of an IPv6 address
    char service[socketServiceCapacity]; // the port, 1 to 65535, in decimal
};

// device: any other name (passed to the system as it is); socket: a
// well-formed socket://HOST:PORT, taken apart into *socket; malformed: it
// starts with socket:// (in any case) but the rest is no HOST:PORT: an empty
// or over-long host, a character no host name or address holds, a missing or
// out-of-range port, anything after the port.
enum class PortNameKind { device, socket, malformed };
PortNameKind parsePortName(const char *name, SocketName *socket);

} // namespace mexlink
