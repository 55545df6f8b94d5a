// Other POSIX kernels: only the rates with a Bxxx constant, mark/space parity
// only where CMSPAR exists, and no way to read back exclusive mode.
#include "posix_extras.hpp"

int setCustomBaud(int, std::uint32_t) { return 0; }

int exclusiveModeMayBeSet(int) { return 1; }

int holdsAdvisoryLock(int) { return -1; }

int setStickParity(termios *settings, bool mark)
{
#ifdef CMSPAR
    settings->c_cflag |= PARENB | CMSPAR;
    if (mark)
        settings->c_cflag |= PARODD;
    else
        settings->c_cflag &= ~PARODD;
    return 1;
#else
    (void)settings;
    (void)mark;
    return 0;
#endif
}
