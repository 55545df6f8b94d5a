// POSIX backend of the port routines: a terminal device driven through
// termios so that it behaves as a Win32 communications port does.
//
// - The handle is the file descriptor.
// - Exclusive use: an advisory flock (which also stops root) plus the
//   terminal's exclusive mode (TIOCEXCL), both held until the close.
// - Raw binary mode, software flow control off; byte size, parity and rate
//   as asked; stop bits and hardware flow control are left as the port had them.
// - The read time-out T (milliseconds) lives in the kernel-held terminal
//   settings, in control-character slots that raw mode never looks at, next to
//   a two-byte marker. Later commands recover T from the descriptor alone.
// - Reads and writes are non-blocking and wait in poll() against monotonic
//   deadlines.
#include "serial.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "mex.h"
#include "posix_extras.hpp"
#include "read_rule.hpp"

namespace {

// Slots ignored once ICANON, ISIG and IEXTEN are off. All lie below index 19,
// so they survive the trip through the Linux kernel's smaller c_cc array.
constexpr int markerSlots[2] = {VERASE, VKILL};
constexpr cc_t markerBytes[2] = {0x6D, 0x4C};
constexpr int timeoutSlots[4] = {VEOF, VEOL, VEOL2, VWERASE};

enum class ReadEnd { done, failed, overLimit };

// Long poll() time-outs are stretched by the kernel's timer slack (0.1% of
// the wait); waking at least this often keeps every deadline within about a
// millisecond.
constexpr std::int64_t longestWaitNs = 200 * nanosPerMilli;

std::int64_t nowNanos()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void storeTimeout(termios *settings, std::uint32_t timeoutMs)
{
    settings->c_cc[markerSlots[0]] = markerBytes[0];
    settings->c_cc[markerSlots[1]] = markerBytes[1];
    for (int i = 0; i < 4; ++i)
        settings->c_cc[timeoutSlots[i]] = static_cast<cc_t>(timeoutMs >> (8 * i));
}

int loadTimeout(const termios &settings, std::uint32_t *timeoutMs)
{
    if (settings.c_cc[markerSlots[0]] != markerBytes[0] || settings.c_cc[markerSlots[1]] != markerBytes[1])
        return 0;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(settings.c_cc[timeoutSlots[i]]) << (8 * i);
    *timeoutMs = value;
    return 1;
}

// The descriptor a handle names, if it is an open character device.
int characterDevice(const std::uint32_t *handle, int *fd)
{
    if (*handle > static_cast<std::uint32_t>(INT_MAX))
        return 0;
    struct stat info{};
    if (fstat(static_cast<int>(*handle), &info) != 0 || !S_ISCHR(info.st_mode))
        return 0;
    *fd = static_cast<int>(*handle);
    return 1;
}

// Whether the handle names a port this system opened and still holds. Only
// then is it ever read, written or closed; anything else (a closed number, a
// file, a pipe, another descriptor of the same terminal, the host's own
// terminal) is left alone.
//
// The reads and writes use quick checks: an open terminal carrying the
// marker, in exclusive mode, whose open file can take the advisory lock
// (which succeeds without change for the holder and fails for any other open
// file of the device while the port is open).
int portOf(const std::uint32_t *handle, int *fd, std::uint32_t *timeoutMs)
{
    termios settings{};
    return characterDevice(handle, fd) && tcgetattr(*fd, &settings) == 0 && loadTimeout(settings, timeoutMs)
           && exclusiveModeMayBeSet(*fd) && flock(*fd, LOCK_EX | LOCK_NB) == 0;
}

// The close asks the kernel which open file holds the lock, so that it also
// recognises a port whose device hung up (no terminal request works then)
// and never closes a descriptor it merely could lock.
int ownedDevice(const std::uint32_t *handle, int *fd)
{
    if (!characterDevice(handle, fd))
        return 0;
    const int holds = holdsAdvisoryLock(*fd);
    return holds > 0 || (holds < 0 && flock(*fd, LOCK_EX | LOCK_NB) == 0);
}

speed_t standardSpeed(std::uint32_t rate)
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
    settings->c_cflag &= ~(PARENB | PARODD);
#ifdef CMSPAR
    settings->c_cflag &= ~CMSPAR;
#endif
    switch (parity) {
    case 0: return 1;
    case 1: settings->c_cflag |= PARENB | PARODD; return 1;
    case 2: settings->c_cflag |= PARENB; return 1;
    case 3: return setStickParity(settings, true);
    case 4: return setStickParity(settings, false);
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
    settings->c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
#ifdef IUCLC
    settings->c_iflag &= ~IUCLC;
#endif
#ifdef IMAXBEL
    settings->c_iflag &= ~IMAXBEL;
#endif
    settings->c_oflag &= ~OPOST;
    settings->c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN | NOFLSH | TOSTOP);
    settings->c_cflag |= CREAD | CLOCAL;
    // Reads are non-blocking and timed by poll(); these only keep a blocking
    // reader of the same device sane.
    settings->c_cc[VMIN] = 1;
    settings->c_cc[VTIME] = 0;
}

int settingsTook(int fd, const termios &wanted)
{
    termios actual{};
    if (tcgetattr(fd, &actual) != 0)
        return 0;
    const tcflag_t checked = CSIZE | PARENB | PARODD | CREAD | CLOCAL;
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
    const speed_t speed = standardSpeed(baudRate);
    if (speed != B0 && (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0))
        return 0;
    if (tcsetattr(fd, TCSANOW, &settings) != 0 || !settingsTook(fd, settings))
        return 0;
    return speed != B0 || setCustomBaud(fd, baudRate);
}

int writeTimeout(int fd, std::int32_t timeoutMs)
{
    if (timeoutMs < 0)
        return 0;
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return 0;
    storeTimeout(&settings, static_cast<std::uint32_t>(timeoutMs));
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        return 0;
    std::uint32_t stored = 0;
    return tcgetattr(fd, &settings) == 0 && loadTimeout(settings, &stored)
           && stored == static_cast<std::uint32_t>(timeoutMs);
}

void closeAndRaise(int fd, const char *message)
{
    close(fd);
    mexErrMsgTxt(message);
}

// A refused configuration after exclusive mode was taken: exclusive mode
// belongs to the device and would outlive this descriptor, keeping every
// later open by a non-root user out.
void releaseAndRaise(int fd, const char *message)
{
    ioctl(fd, TIOCNXCL);
    closeAndRaise(fd, message);
}

// Reads up to chunkSize bytes under the time-out rule. `limitNs` cuts the read
// off (overLimit) even when the rule has no deadline yet.
ReadEnd readChunk(int fd, std::uint32_t timeoutMs, std::int64_t limitNs, std::uint8_t *chunk,
                  std::uint32_t *count)
{
    const std::int64_t start = nowNanos();
    std::int64_t lastByte = start;
    std::uint32_t received = 0;
    for (;;) {
        const ssize_t n = read(fd, chunk + received, chunkSize - received);
        if (n > 0) {
            received += static_cast<std::uint32_t>(n);
            lastByte = nowNanos();
            if (received == chunkSize)
                break;
            continue;
        }
        if (n == 0)
            return ReadEnd::failed; // hung up
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return ReadEnd::failed;

        const std::int64_t now = nowNanos();
        const std::int64_t deadline = readDeadline(start, lastByte, received, timeoutMs);
        if (now >= deadline)
            break;
        if (now >= limitNs) {
            *count = received;
            return ReadEnd::overLimit;
        }
        pollfd waiter{fd, POLLIN, 0};
        const int ready = poll(&waiter, 1, pollMillis(now, std::min({deadline, limitNs, now + longestWaitNs})));
        if (ready < 0 && errno != EINTR)
            return ReadEnd::failed;
        if (ready > 0 && (waiter.revents & POLLIN) == 0
            && (waiter.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            return ReadEnd::failed;
    }
    *count = received;
    return ReadEnd::done;
}

int writeAll(int fd, const std::uint8_t *bytes, std::uint32_t count)
{
    const std::int64_t deadline =
        nowNanos()
        + (static_cast<std::int64_t>(writeTimeoutConstantMs) + std::int64_t(writeTimeoutPerByteMs) * count)
              * nanosPerMilli;
    std::uint32_t written = 0;
    while (written < count) {
        const ssize_t n = write(fd, bytes + written, count - written);
        if (n > 0) {
            written += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return 0;
        const std::int64_t now = nowNanos();
        if (now >= deadline)
            return 0;
        pollfd waiter{fd, POLLOUT, 0};
        const int ready = poll(&waiter, 1, pollMillis(now, std::min(deadline, now + longestWaitNs)));
        if (ready < 0 && errno != EINTR)
            return 0;
        if (ready > 0 && (waiter.revents & POLLOUT) == 0)
            return 0; // error or hang-up
    }
    return 1;
}

// Waits, in short sleeps and for a bounded time, until the output queue is
// empty. Returns 1 when it emptied.
int drainOutput(int fd, std::uint32_t limitMs)
{
    const std::int64_t deadline = nowNanos() + std::int64_t(limitMs) * nanosPerMilli;
    for (;;) {
        int queued = 0;
        if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0)
            return 1;
        if (nowNanos() >= deadline)
            return 0;
        poll(nullptr, 0, 1);
    }
}

} // namespace

int openSerial(std::uint32_t *handleOut, const char *portName, std::int32_t baudRate, std::int32_t byteSize,
               std::int32_t parity, std::int32_t timeoutMs)
{
    const int fd = open(portName, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    *handleOut = static_cast<std::uint32_t>(fd);
    mexPrintf("*hSerial: %d\n", fd);
    if (fd < 0) {
        if (errno == ENOENT)
            mexErrMsgTxt("Error: serial port does not exist");
        mexErrMsgTxt("Error: opening the serial port");
    }
    // The lock comes first: a second opener (root passes TIOCEXCL) must leave
    // the holder's settings untouched.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        closeAndRaise(fd, "Error: opening the serial port");
    if (!isatty(fd))
        closeAndRaise(fd, "Error: setting serial port state");
    if (ioctl(fd, TIOCEXCL) != 0)
        closeAndRaise(fd, "Error: opening the serial port");
    if (!configurePort(fd, static_cast<std::uint32_t>(baudRate), static_cast<std::uint8_t>(byteSize),
                       static_cast<std::uint8_t>(parity)))
        releaseAndRaise(fd, "Error: setting serial port state");
    if (!writeTimeout(fd, timeoutMs))
        releaseAndRaise(fd, "Error: setting timeout");
    // A freshly opened port starts with nothing stale in its input.
    tcflush(fd, TCIFLUSH);
    return 1;
}

int writeSerial(const std::uint32_t *handle, const std::uint8_t *bytes, std::uint32_t count)
{
    int fd = -1;
    std::uint32_t timeoutMs = 0;
    if (!portOf(handle, &fd, &timeoutMs) || !writeAll(fd, bytes, count))
        mexErrMsgTxt("Error: could not write to serial port");
    return 1;
}

int readSerialLatest(const std::uint32_t *handle, std::uint8_t *chunk, std::uint32_t *count)
{
    int fd = -1;
    std::uint32_t timeoutMs = 0;
    if (!portOf(handle, &fd, &timeoutMs))
        mexErrMsgTxt("Error: could not read from serial port");
    drainOutput(fd, outputDrainLimitMs);

    const std::int64_t start = nowNanos();
    const std::int64_t lastStart = start + std::int64_t(latestDrainLimitMs) * nanosPerMilli;
    const std::int64_t limit = lastStart + readTotalNanos(timeoutMs);
    *count = chunkSize;
    while (*count == chunkSize) {
        if (nowNanos() > lastStart)
            mexErrMsgTxt("Error: the serial line never paused");
        const ReadEnd end = readChunk(fd, timeoutMs, limit, chunk, count);
        if (end == ReadEnd::overLimit)
            mexErrMsgTxt("Error: the serial line never paused");
        if (end == ReadEnd::failed)
            mexErrMsgTxt("Error: could not read from serial port");
    }
    return 1;
}

int readSerialOnce(const std::uint32_t *handle, std::uint8_t *chunk, std::uint32_t *count)
{
    int fd = -1;
    std::uint32_t timeoutMs = 0;
    if (!portOf(handle, &fd, &timeoutMs) || readChunk(fd, timeoutMs, noDeadline, chunk, count) != ReadEnd::done)
        mexErrMsgTxt("Error: could not read from serial port");
    mexPrintf("NumReadBytes: %d\n", static_cast<int>(*count));
    return 1;
}

int closeSerial(const std::uint32_t *handle)
{
    if (*handle == 0xFFFFFFFFu)
        mexErrMsgTxt("Error: serial port does not exist.");
    int fd = -1;
    std::uint32_t timeoutMs = 0;
    termios settings{};
    if (!ownedDevice(handle, &fd))
        mexErrMsgTxt("Error: could not close serial port.");
    // A port whose device hung up answers terminal requests with EIO but
    // must still be closable.
    const bool readable = tcgetattr(fd, &settings) == 0;
    const bool hungUp = !readable && errno == EIO;
    const bool configured = readable && loadTimeout(settings, &timeoutMs);
    if (!configured && !hungUp)
        mexErrMsgTxt("Error: could not close serial port.");
    if (configured) {
        // The kernel would wait up to its closing delay for unsent output; a
        // port stuck by flow control gets a bounded drain, then is discarded.
        if (!drainOutput(fd, outputDrainLimitMs))
            tcflush(fd, TCOFLUSH);
        // Exclusive mode belongs to the device, not to this descriptor: clear
        // it so another descriptor of the same terminal never looks like a port.
        ioctl(fd, TIOCNXCL);
    }
    if (close(fd) != 0 && errno != EINTR)
        mexErrMsgTxt("Error: could not close serial port.");
    return 1;
}
