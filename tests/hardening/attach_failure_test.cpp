// A refused attach leaves the terminal as it found it: no exclusive mode and
// no lock that would keep the next attach (or a non-root user) out.
#include <cstdint>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "pty_pair.hpp"
#include "port/serial.hpp"
#include "port/transfer.hpp"

using namespace mexlink;

namespace {

struct AttachCall {
    const char *path;
    std::uint32_t *handle;
    std::int32_t baud, byteSize, parity, timeoutMs;
};

HostOutcome attach(const std::string &path, std::uint32_t *handle, std::int32_t baud, std::int32_t byteSize,
                   std::int32_t parity, std::int32_t timeoutMs)
{
    AttachCall c{path.c_str(), handle, baud, byteSize, parity, timeoutMs};
    return inHost([&c] { openSerial(c.handle, c.path, c.baud, c.byteSize, c.parity, c.timeoutMs); });
}

HostOutcome detach(std::uint32_t handle)
{
    return inHost([handle] { closeSerial(&handle); });
}

// Exclusive mode and the lock as another opener of the same device sees them.
struct DeviceState {
    int exclusive = -1;
    bool lockFree = false;
};

DeviceState stateOf(const std::string &path)
{
    DeviceState s;
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return s;
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0)
        s.exclusive = exclusive;
    s.lockFree = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return s;
}

} // namespace

TEST(AttachFailure, RefusedSettingsLeaveNeitherExclusiveModeNorTheLock)
{
    PtyPair pty = openPtyPair();
    // An attached port is exclusive and locked, so the checks below can see both.
    std::uint32_t handle = 0;
    ASSERT_TRUE(attach(pty.slavePath, &handle, 115200, 8, 0, 5).returned);
    DeviceState held = stateOf(pty.slavePath);
    EXPECT_EQ(held.exclusive, 1);
    EXPECT_FALSE(held.lockFree);
    ASSERT_TRUE(detach(handle).returned);

    struct Case {
        std::int32_t baud, byteSize, parity, timeoutMs;
        const char *error;
    };
    const Case cases[] = {
        {115200, 9, 0, 5, "Error: setting serial port state"},
        {115200, 8, 7, 5, "Error: setting serial port state"},
        {0, 8, 0, 5, "Error: setting serial port state"},
        {115200, 8, 0, -5, "Error: setting timeout"},
    };
    for (const Case &c : cases) {
        const HostOutcome r = attach(pty.slavePath, &handle, c.baud, c.byteSize, c.parity, c.timeoutMs);
        EXPECT_FALSE(r.returned);
        EXPECT_EQ(r.error, c.error);
        const DeviceState after = stateOf(pty.slavePath);
        EXPECT_EQ(after.exclusive, 0) << c.error << " (byte size " << c.byteSize << ", parity " << c.parity << ")";
        EXPECT_TRUE(after.lockFree) << c.error;
    }
    ASSERT_TRUE(attach(pty.slavePath, &handle, 115200, 8, 0, 5).returned);
    ASSERT_TRUE(detach(handle).returned);
    EXPECT_EQ(stateOf(pty.slavePath).exclusive, 0);
    closeMaster(&pty);
}
