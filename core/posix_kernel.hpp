// What differs between the POSIX kernels under serial_posix.cpp. One file per
// kernel implements it: posix_kernel_linux.cpp (with linux_termios2.cpp) and
// posix_kernel_generic.cpp (macOS, the BSDs, and any other).
#pragma once

#include <cstdint>

namespace mexlink {

// Sets a rate that has no Bxxx constant on the already configured port;
// 1 on success, 0 where the kernel has no way to.
int setCustomBaud(int fd, std::uint32_t rate);

// The c_cflag bit that turns odd/even parity into mark/space (CMSPAR), or 0
// where the kernel has none.
unsigned long stickParityFlag();

// Whether the terminal is in exclusive mode (TIOCEXCL) already, which root
// passes: 1 yes, 0 no, -1 the kernel cannot tell.
int exclusiveModeSet(int fd);

// Waits until `deadline` (a monotonic instant) at most for the terminal to
// become readable (or writable). 1 when it may be (the next read or write
// tells, a hang-up included), 0 when the time ran out (or, where the kernel
// offers no wait for this descriptor, a short sleep did), -1 when the
// descriptor cannot be waited on.
enum class TerminalWait { readable, writable };
int waitForTerminal(int fd, TerminalWait what, std::int64_t deadline);

} // namespace mexlink
