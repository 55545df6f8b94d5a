// Win32: the calls on an attached socket (win32/socket_port.cpp), which the
// calls on an attached port (win32/comm_port.cpp) hand a socket to.
#pragma once

#include <cstdint>

#include "port/platform.hpp"

namespace mexlink {

int socketRead(const Port &port, std::uint8_t *bytes, std::uint32_t room, std::int64_t deadline, std::uint32_t *got);
int socketWrite(const Port &port, const std::uint8_t *bytes, std::uint32_t count, std::int64_t deadline,
                std::uint32_t *written);
int socketClose(const Port &port);

} // namespace mexlink
