// The serial ports the system knows of, for linkPorts: the list, what each
// platform gives to fill it (posix/system_ports.cpp, win32/system_ports.cpp),
// and the pure routines around it (port/port_list.cpp). Listing only looks:
// no port is opened and nothing waits on a device. Nothing here raises.
#pragma once

#include <cstdint>

namespace mexlink {

// Ports beyond this many are left out (Windows numbers up to COM256).
constexpr std::uint32_t maxListedPorts = 256;
// A name that does not fit is left out rather than cut; a description is cut.
constexpr std::uint32_t listedNameCapacity = 64;
constexpr std::uint32_t listedDescriptionCapacity = 512;

struct ListedPort {
    // As linkAttach takes it: "COM3", "\\.\COM12"; on POSIX the path under
    // the root ("/dev/ttyUSB0"), which the root goes in front of.
    char name[listedNameCapacity];
    // What the system knows of the port, items joined by ", "; "" when nothing.
    char description[listedDescriptionCapacity];
};

// Which of a Bluetooth link's two ports a port is (Windows gives a link
// two): the one that waits for the device to call, or the one that calls it.
enum class BluetoothDirection { none, incoming, outgoing };

struct PortList {
    std::uint32_t count;
    // Whether each name goes after the root (POSIX) or stands alone (Windows).
    bool namesUnderRoot;
    ListedPort ports[maxListedPorts];
};

// ---------------------------------------------------------------- the platform's side

// noRoot: the root is no folder that can be read (POSIX).
enum class ListOutcome { listed, noRoot };

// Fills `list` in the order the system gives, at most maxListedPorts. POSIX:
// `root` is the folder that stands for "/" (the ports are under root/dev, what
// the kernel says of them under root/sys). Windows: the registry and SetupAPI
// say which ports there are; `root` is not used.
ListOutcome listSystemPorts(const char *root, PortList *list);

// Which of a Bluetooth link's two ports the system lists the port `name`
// (as linkAttach takes it) as, from the same entries listSystemPorts
// describes it by: Windows only, where a link has an Incoming and an
// Outgoing port; elsewhere, and for any other port, none.
BluetoothDirection listedBluetoothDirection(const char *name);

// ---------------------------------------------------------------- pure routines

// Order by name with each run of digits taken as a number (COM2 before
// COM10, ttyUSB9 before ttyUSB10), a leading "\\.\" left out; <0, 0, >0.
int naturalCompare(const char *a, const char *b);
// Sorts the list by naturalCompare of the names.
void sortListedPorts(PortList *list);

// Appends `item` to `description` (listedDescriptionCapacity bytes), after
// ", " when it holds something already; cut where it does not fit.
void appendDescription(char *description, const char *item);
// Appends a USB device's vendor and product IDs as "USB 0403:6001" (lower
// case, as lsusb shows them) when both are four hexadecimal digits.
void appendUsbIds(char *description, const char *vendorId, const char *productId);

// Windows. The name linkAttach takes for a port the registry names:
// "COM1" to "COM9" as they are, any other name (COM10 on) after "\\.\".
// 0 when `registryName` is empty or the result does not fit `name`
// (listedNameCapacity bytes).
int windowsPortName(const char *registryName, char *name);
// Whether a listed Windows name (or one linkAttach is given) and a registry
// name (as PortName gives it) are one port: the same apart from "\\.\" and
// letter case.
bool sameWindowsPort(const char *listedName, const char *registryName);

// Which of a Bluetooth link's two ports an instance ID names. Under BTHENUM
// the last part ends in the remote device's address before '_': all zero
// for the port that waits for the device to call (incoming), any other
// address for the one that calls it (outgoing), the one to attach.
BluetoothDirection bluetoothDirection(const char *instanceId);

// The description of a Windows port from SetupAPI: its friendly name, the
// USB vendor and product IDs of its hardware ID ("USB 0403:6001"), and the
// direction of a Bluetooth link's port.
void describeWindowsPort(const char *friendlyName, const char *hardwareId, const char *instanceId, char *description);

} // namespace mexlink
