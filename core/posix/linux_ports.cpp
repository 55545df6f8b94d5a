// Linux: USB serial adapters (ttyUSB*), USB modems and boards (ttyACM*),
// Bluetooth links bound with rfcomm (rfcomm*), and the UARTs (ttyS*) where
// the kernel found a chip; described from sysfs (the USB device's vendor and
// product IDs and strings, a Bluetooth link's remote address and channel)
// and by the link in /dev/serial/by-id that names the port for good.
#include "posix/kernel_ports.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "port/port_list.hpp"

namespace mexlink {

namespace {

// Room for "sys/class/tty/NAME/..." with any name /dev holds.
constexpr std::size_t pathCapacity = 512;
// Room for an attribute: a USB string descriptor holds at most 126 characters.
constexpr std::size_t attributeCapacity = 400;

// `name` is `prefix` and one or more digits.
bool numbered(const char *name, const char *prefix)
{
    const std::size_t n = std::strlen(prefix);
    if (std::strncmp(name, prefix, n) != 0 || name[n] == '\0')
        return false;
    for (const char *p = name + n; *p != '\0'; ++p)
        if (*p < '0' || *p > '9')
            return false;
    return true;
}

// The attribute `file` of the port's sysfs entry (sys/class/tty/NAME/FILE)
// into `text` (attributeCapacity bytes) without its line end; 0 when there is
// none. Only a regular file is opened, so no path can reach a device.
int ttyAttribute(int rootFd, const char *name, const char *file, char *text)
{
    char path[pathCapacity];
    const int length = std::snprintf(path, sizeof path, "sys/class/tty/%s/%s", name, file);
    struct stat status;
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof path || fstatat(rootFd, path, &status, 0) != 0
        || !S_ISREG(status.st_mode))
        return 0;
    const int fd = openat(rootFd, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return 0;
    ssize_t got = 0;
    do {
        got = read(fd, text, attributeCapacity - 1);
    } while (got < 0 && errno == EINTR);
    close(fd);
    std::size_t n = got > 0 ? static_cast<std::size_t>(got) : 0;
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '\t'))
        --n;
    text[n] = '\0';
    return n > 0;
}

// The USB device the port belongs to: its entry (idVendor, idProduct,
// manufacturer, product) is the port's device (ttyACM), or one or two levels
// above it (ttyUSB: the port, then the interface). ".." is resolved where
// the link leads, as the kernel resolves every path.
void appendUsbDevice(int rootFd, const char *name, char *description)
{
    const char *levels[] = {"device/", "device/../", "device/../../"};
    const char *strings[] = {"manufacturer", "product"};
    char file[64];
    char vendorId[attributeCapacity];
    char productId[attributeCapacity];
    char text[attributeCapacity];
    for (const char *level : levels) {
        std::snprintf(file, sizeof file, "%sidVendor", level);
        if (!ttyAttribute(rootFd, name, file, vendorId))
            continue;
        std::snprintf(file, sizeof file, "%sidProduct", level);
        if (ttyAttribute(rootFd, name, file, productId))
            appendUsbIds(description, vendorId, productId);
        for (const char *string : strings) {
            std::snprintf(file, sizeof file, "%s%s", level, string);
            if (ttyAttribute(rootFd, name, file, text))
                appendDescription(description, text);
        }
        return;
    }
}

// An rfcomm binding: the remote device's address and the channel.
void appendBluetoothLink(int rootFd, const char *name, char *description)
{
    char address[attributeCapacity];
    char channel[attributeCapacity];
    if (!ttyAttribute(rootFd, name, "address", address))
        return;
    char item[2 * attributeCapacity + 32];
    if (ttyAttribute(rootFd, name, "channel", channel))
        std::snprintf(item, sizeof item, "Bluetooth %s channel %s", address, channel);
    else
        std::snprintf(item, sizeof item, "Bluetooth %s", address);
    appendDescription(description, item);
}

// The link in dev/serial/by-id that leads to the port, by its name.
void appendById(int rootFd, const char *name, char *description)
{
    DIR *ids = openFolder(rootFd, "dev/serial/by-id");
    if (ids == nullptr)
        return;
    while (const dirent *entry = readdir(ids)) {
        char target[pathCapacity];
        const ssize_t n = readlinkat(dirfd(ids), entry->d_name, target, sizeof target - 1);
        if (n <= 0)
            continue;
        target[n] = '\0';
        const char *slash = std::strrchr(target, '/');
        if (std::strcmp(slash != nullptr ? slash + 1 : target, name) != 0)
            continue;
        char item[pathCapacity];
        std::snprintf(item, sizeof item, "by-id %s", entry->d_name);
        appendDescription(description, item);
        break;
    }
    closedir(ids);
}

} // namespace

bool kernelListsPort(int rootFd, const char *name)
{
    if (numbered(name, "ttyUSB") || numbered(name, "ttyACM") || numbered(name, "rfcomm"))
        return true;
    if (!numbered(name, "ttyS"))
        return false;
    // The 8250 driver makes every ttyS it was built for; its type is 0
    // (unknown) where no UART answered.
    char type[attributeCapacity];
    char *end = nullptr;
    return ttyAttribute(rootFd, name, "type", type) && std::strtol(type, &end, 10) != 0 && *end == '\0';
}

void describeKernelPort(int rootFd, const char *name, char *description)
{
    appendUsbDevice(rootFd, name, description);
    appendBluetoothLink(rootFd, name, description);
    if (numbered(name, "ttyS"))
        appendDescription(description, "UART");
    appendById(rootFd, name, description);
}

} // namespace mexlink
