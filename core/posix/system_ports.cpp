// POSIX: the ports are the entries of /dev that the kernel's code
// (posix/kernel_ports.hpp) takes for serial ports. Every path is looked up
// relative to the root, so that a folder laid out like / can stand in for
// it. Folders are opened, and the files under sys/ the kernel's code reads;
// no device ever is.
#include "port/port_list.hpp"

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "posix/kernel_ports.hpp"

namespace mexlink {

namespace {

constexpr char devFolder[] = "/dev/";

bool isFolder(int dirFd, const char *name)
{
    struct stat status;
    return fstatat(dirFd, name, &status, 0) == 0 && S_ISDIR(status.st_mode);
}

} // namespace

DIR *openFolder(int dirFd, const char *path)
{
    const int fd = openat(dirFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    DIR *folder = fdopendir(fd);
    if (folder == nullptr)
        close(fd);
    return folder;
}

ListOutcome listSystemPorts(const char *root, PortList *list)
{
    list->count = 0;
    list->namesUnderRoot = true;
    const int rootFd = open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (rootFd < 0)
        return ListOutcome::noRoot;
    // No dev/ under the root: no ports.
    DIR *dev = openFolder(rootFd, "dev");
    while (dev != nullptr && list->count < maxListedPorts) {
        const dirent *entry = readdir(dev);
        if (entry == nullptr)
            break;
        const std::size_t length = std::strlen(entry->d_name);
        ListedPort &port = list->ports[list->count];
        if (length + sizeof devFolder > listedNameCapacity || !kernelListsPort(rootFd, entry->d_name)
            || isFolder(dirfd(dev), entry->d_name))
            continue;
        std::memcpy(port.name, devFolder, sizeof devFolder - 1);
        std::memcpy(port.name + sizeof devFolder - 1, entry->d_name, length + 1);
        port.description[0] = '\0';
        describeKernelPort(rootFd, entry->d_name, port.description);
        ++list->count;
    }
    if (dev != nullptr)
        closedir(dev);
    close(rootFd);
    return ListOutcome::listed;
}

// Only Windows gives a Bluetooth link two ports.
BluetoothDirection listedBluetoothDirection(const char *) { return BluetoothDirection::none; }

} // namespace mexlink
