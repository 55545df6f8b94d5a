// What differs between the POSIX kernels in listing the serial ports: which
// entries of /dev are ports, and what the kernel says of one. One file per
// kernel implements it: linux_ports.cpp and generic_ports.cpp.
// Every path is relative to the root's descriptor (port/port_list.hpp).
#pragma once

#include <dirent.h>

namespace mexlink {

// Whether the entry `name` of root/dev is a serial port to list, by its name
// and what the kernel reports under root/sys.
bool kernelListsPort(int rootFd, const char *name);

// Fills `description` (listedDescriptionCapacity bytes, empty) with what the
// kernel says of the port `name` of root/dev; leaves it empty when nothing.
void describeKernelPort(int rootFd, const char *name, char *description);

// Given by posix/system_ports.cpp: the folder `path` under `dirFd` opened for
// reading its entries, or nullptr; closedir ends it.
DIR *openFolder(int dirFd, const char *path);

} // namespace mexlink
