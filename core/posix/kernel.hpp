// What differs between the POSIX kernels under the POSIX port code. One file
// per kernel implements it: linux_kernel.cpp (with linux_termios2.cpp) and
// generic_kernel.cpp (macOS, the BSDs, and any other).
#pragma once

#include <cstdint>

// Only declared: linux_termios2.cpp sees the kernel's own struct termios.
struct termios;

namespace mexlink {

// Input modes raw mode clears beyond those of POSIX (IUCLC, IMAXBEL), where
// the kernel has them.
unsigned long kernelInputModesOff();

// Sets a rate that has no Bxxx constant on the already configured port;
// 1 on success, 0 where the kernel has no way to.
int setCustomBaud(int fd, std::uint32_t rate);

// The c_cflag bit that turns odd/even parity into mark/space (CMSPAR), or 0
// where the kernel has none.
unsigned long stickParityFlag();

// Whether the terminal is in exclusive mode (TIOCEXCL) already, which root
// passes: 1 yes, 0 no, -1 the kernel cannot tell.
int exclusiveModeSet(int fd);

// Waits until `deadline` (a monotonic instant) at most for the descriptor (a
// terminal or a socket) to become readable (or writable). 1 when it may be (the next read or write
// tells, a hang-up included), 0 when the time ran out (or, where the kernel
// offers no wait for this descriptor, a short sleep did), -1 when the
// descriptor cannot be waited on.
enum class Waiting { readable, writable };
int waitForDescriptor(int fd, Waiting what, std::int64_t deadline);

// Sockets: what keeps a write to a connection the other end closed from
// raising SIGPIPE in the host: the flags each send takes, and what is set on
// the socket once it is made.
int noSignalSendFlags();
void setNoSignalOnWrite(int fd);

} // namespace mexlink
