// POSIX: a serial port is a terminal device, opened and driven through
// termios so that it behaves as a Win32 communications port does. The calls
// on it once attached: posix/descriptor.cpp.
//
// - The handle is the file descriptor; the record (port/record.hpp) keeps
//   the terminal's device number beside it.
// - Exclusive use: an advisory flock (which also stops root) plus the
//   terminal's exclusive mode (TIOCEXCL), both held until the close. Another
//   program's exclusive mode is respected even by root, and never cleared.
// - Raw binary mode, software flow control off; byte size, parity and rate
//   as asked; stop bits and hardware flow control are left as the port had
//   them, and so are the keys (erase, kill, intr, ...). A refused set-up puts
//   back everything it changed.
#include "port/platform.hpp"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "posix/descriptor.hpp"
#include "posix/kernel.hpp"

namespace mexlink {

namespace {

// The Bxxx constant of `rate`; B0 where the kernel names none (the rates
// above 230400 are not POSIX, and each kernel has its own of them).
speed_t speedConstant(std::uint32_t rate)
{
    switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
#ifdef B460800
    case 460800: return B460800;
#endif
#ifdef B500000
    case 500000: return B500000;
#endif
#ifdef B576000
    case 576000: return B576000;
#endif
#ifdef B921600
    case 921600: return B921600;
#endif
#ifdef B1000000
    case 1000000: return B1000000;
#endif
#ifdef B1500000
    case 1500000: return B1500000;
#endif
#ifdef B2000000
    case 2000000: return B2000000;
#endif
#ifdef B3000000
    case 3000000: return B3000000;
#endif
#ifdef B4000000
    case 4000000: return B4000000;
#endif
    default: return B0;
    }
}

// Sets `rate` as both speeds of `settings` through its Bxxx constant.
bool setStandardSpeed(termios *settings, std::uint32_t rate)
{
    const speed_t speed = speedConstant(rate);
    return speed != B0 && cfsetispeed(settings, speed) == 0 && cfsetospeed(settings, speed) == 0;
}

int setByteSize(termios *settings, std::uint8_t byteSize)
{
    tcflag_t size = 0;
    switch (byteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return 0;
    }
    settings->c_cflag = (settings->c_cflag & ~CSIZE) | size;
    return 1;
}

// Win32 parity codes: 0 none, 1 odd, 2 even, 3 mark, 4 space.
int setParity(termios *settings, std::uint8_t parity)
{
    const auto stick = static_cast<tcflag_t>(stickParityFlag());
    settings->c_cflag &= ~(PARENB | PARODD | stick);
    switch (parity) {
    case 0: return 1;
    case 1: settings->c_cflag |= PARENB | PARODD; return 1;
    case 2: settings->c_cflag |= PARENB; return 1;
    case 3: settings->c_cflag |= PARENB | PARODD | stick; return stick != 0;
    case 4: settings->c_cflag |= PARENB | stick; return stick != 0;
    default: return 0;
    }
}

// Raw binary mode as a Win32 port always is. Stop bits (CSTOPB) and hardware
// flow control (CRTSCTS) keep what the port had. Software flow control goes:
// POSIX terminals start with IXON on by default (a Win32 port starts without
// XON/XOFF), and it would swallow every 0x11 and 0x13 byte of the binary
// status frames and stall output after a 0x13.
void makeRaw(termios *settings)
{
    settings->c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY
                           | static_cast<tcflag_t>(kernelInputModesOff()));
    settings->c_oflag &= ~OPOST;
    settings->c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN | NOFLSH | TOSTOP);
    settings->c_cflag |= CREAD | CLOCAL;
    // Reads are non-blocking and timed by the shared routines; these only
    // keep a blocking reader of the same device sane.
    settings->c_cc[VMIN] = 1;
    settings->c_cc[VTIME] = 0;
}

int settingsTook(int fd, const termios &wanted)
{
    termios actual{};
    if (tcgetattr(fd, &actual) != 0)
        return 0;
    const tcflag_t checked = CSIZE | PARENB | PARODD | CREAD | CLOCAL | static_cast<tcflag_t>(stickParityFlag());
    return (actual.c_cflag & checked) == (wanted.c_cflag & checked) && (actual.c_lflag & ICANON) == 0;
}

int configurePort(int fd, std::uint32_t baudRate, std::uint8_t byteSize, std::uint8_t parity)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return 0;
    makeRaw(&settings);
    if (baudRate == 0 || baudRate > 0x7FFFFFFFu || !setByteSize(&settings, byteSize) || !setParity(&settings, parity))
        return 0;
    const bool standard = setStandardSpeed(&settings, baudRate);
    if (tcsetattr(fd, TCSANOW, &settings) != 0 || !settingsTook(fd, settings))
        return 0;
    return standard || setCustomBaud(fd, baudRate);
}

} // namespace

OpenOutcome serialOpen(const char *name, const PortRecord &record, Port *port, char *cause)
{
    cause[0] = '\0';
    const int fd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return OpenOutcome::notFound;
        describeError(error, cause);
        return error == EBUSY                      ? OpenOutcome::busy
               : error == EACCES || error == EPERM ? OpenOutcome::denied
                                                   : OpenOutcome::refused;
    }
    // Root passes another program's exclusive mode, and the lock only stops
    // those who take it too: the holder's port is refused as one in use
    // before anything of it is changed.
    struct stat device {};
    const bool exclusive = exclusiveModeSet(fd) == 1;
    if (exclusive || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        std::strcpy(cause, exclusive ? "held in exclusive mode" : "locked");
        close(fd);
        return OpenOutcome::busy;
    }
    if (fstat(fd, &device) != 0) {
        describeError(errno, cause);
        close(fd);
        return OpenOutcome::refused;
    }
    port->handle = static_cast<std::uint32_t>(freshNumber(fd, record));
    port->device = static_cast<std::uint64_t>(device.st_rdev);
    port->kind = PortKind::serial;
    return OpenOutcome::opened;
}

SetupOutcome serialSetUp(const Port &port, std::int32_t baudRate, std::int32_t byteSize, std::int32_t parity,
                         std::int32_t timeoutMs)
{
    const int fd = static_cast<int>(port.handle);
    termios found{};
    if (tcgetattr(fd, &found) != 0)
        return SetupOutcome::stateRefused;
    if (ioctl(fd, TIOCEXCL) != 0)
        return SetupOutcome::busy;
    SetupOutcome outcome = SetupOutcome::done;
    if (!configurePort(fd, static_cast<std::uint32_t>(baudRate), static_cast<std::uint8_t>(byteSize),
                       static_cast<std::uint8_t>(parity)))
        outcome = SetupOutcome::stateRefused;
    else if (timeoutMs < 0)
        outcome = SetupOutcome::timeoutRefused;
    if (outcome != SetupOutcome::done) {
        // Refused: the device goes back to what it was, its exclusive mode
        // (set here) included.
        tcsetattr(fd, TCSANOW, &found);
        ioctl(fd, TIOCNXCL);
        return outcome;
    }
    // A freshly opened port starts with nothing stale in its input.
    tcflush(fd, TCIFLUSH);
    return SetupOutcome::done;
}

static_assert(sizeof(termios) <= sizeof(DeviceSettings), "a terminal's settings fit the room kept for them");

int serialSaveSettings(const Port &port, DeviceSettings *settings)
{
    termios found{};
    if (tcgetattr(static_cast<int>(port.handle), &found) != 0)
        return 0;
    std::memcpy(settings->bytes, &found, sizeof found);
    return 1;
}

void serialRestoreSettings(const Port &port, const DeviceSettings &settings)
{
    termios found{};
    std::memcpy(&found, settings.bytes, sizeof found);
    tcsetattr(static_cast<int>(port.handle), TCSANOW, &found);
}

} // namespace mexlink
