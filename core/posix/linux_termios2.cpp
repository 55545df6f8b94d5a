// Linux: any rate through termios2 (BOTHER). <asm/termbits.h> clashes with
// <termios.h>, so this translation unit sees only the kernel's definitions.
#include "posix/kernel.hpp"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace mexlink {

int setCustomBaud(int fd, std::uint32_t rate)
{
    struct termios2 settings;
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return 0;
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = rate;
    settings.c_ospeed = rate;
    if (ioctl(fd, TCSETS2, &settings) != 0 || ioctl(fd, TCGETS2, &settings) != 0)
        return 0;
    // Drivers may pick the nearest rate their clock allows; refuse only a rate
    // that is off by more than the 3% a UART tolerates.
    const std::uint64_t got = settings.c_ospeed;
    return got * 100 >= std::uint64_t(rate) * 97 && got * 100 <= std::uint64_t(rate) * 103;
}

} // namespace mexlink
