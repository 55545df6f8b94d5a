// Terminal features that differ between POSIX kernels. One file per kernel
// implements them (posix_extras_linux.cpp, posix_extras_generic.cpp).
#pragma once

#include <cstdint>
#include <termios.h>

// Sets a rate that has no Bxxx constant on the already configured port;
// 1 on success.
int setCustomBaud(int fd, std::uint32_t rate);

// Mark (mark = true) or space parity on `settings`; 0 where the kernel has none.
int setStickParity(termios *settings, bool mark);

// Whether this open file (not merely the device) holds an advisory flock:
// 1 yes, 0 no, -1 the kernel cannot tell.
int holdsAdvisoryLock(int fd);

// 1 if the terminal is in exclusive mode or the kernel cannot tell, 0 if it is
// known not to be.
int exclusiveModeMayBeSet(int fd);
