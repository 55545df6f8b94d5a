// Win32: the ports are the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM,
// where each serial driver names its ports while they are there. SetupAPI's
// Ports class says what each one is, matched by the PortName of its device
// key: the friendly name, the USB IDs of its hardware ID, and which of a
// Bluetooth link's two ports its instance ID names (which linkAttach also
// asks of the one port it opens). Only registry keys and SetupAPI's list are
// opened; no port.
#include "port/port_list.hpp"

#include <windows.h>

#include <setupapi.h>

namespace mexlink {

namespace {

// Room for a registry value name, a property or an instance ID
// (MAX_DEVICE_ID_LEN is 200).
constexpr DWORD textCapacity = 256;

void listRegistryPorts(PortList *list)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return; // the key is there once some port is
    for (DWORD index = 0; list->count < maxListedPorts; ++index) {
        char valueName[textCapacity];
        DWORD valueNameLength = textCapacity;
        char data[listedNameCapacity] = {};
        DWORD dataSize = listedNameCapacity - 1;
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, index, valueName, &valueNameLength, nullptr, &type,
                                          reinterpret_cast<BYTE *>(data), &dataSize);
        // A value too long for a port's name is passed over.
        if (result == ERROR_MORE_DATA || (result == ERROR_SUCCESS && type != REG_SZ))
            continue;
        if (result != ERROR_SUCCESS)
            break;
        data[dataSize] = '\0'; // the value need not end in one
        ListedPort &port = list->ports[list->count];
        if (windowsPortName(data, port.name)) {
            port.description[0] = '\0';
            ++list->count;
        }
    }
    RegCloseKey(key);
}

// A text property of the device (of a list, its first text); "" when none.
void deviceText(HDEVINFO set, SP_DEVINFO_DATA *device, DWORD property, char *text)
{
    DWORD type = 0;
    text[textCapacity - 1] = '\0';
    if (!SetupDiGetDeviceRegistryPropertyA(set, device, property, &type, reinterpret_cast<BYTE *>(text),
                                           textCapacity - 1, nullptr)
        || (type != REG_SZ && type != REG_MULTI_SZ))
        text[0] = '\0';
}

// The PortName of the device's key: the port it is, as SERIALCOMM names it.
bool devicePortName(HDEVINFO set, SP_DEVINFO_DATA *device, char *portName)
{
    const HKEY key = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE)
        return false;
    DWORD type = 0;
    DWORD size = textCapacity - 1;
    portName[textCapacity - 1] = '\0';
    const LONG result = RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE *>(portName), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return false;
    portName[size] = '\0';
    return true;
}

// The device's instance ID, "" when none.
void deviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA *device, char *instanceId)
{
    if (!SetupDiGetDeviceInstanceIdA(set, device, instanceId, textCapacity, nullptr))
        instanceId[0] = '\0';
}

// Calls visit(set, device, portName) for each present device of the Ports
// class whose key names its port, until visit returns true.
template <typename Visit> void forEachPortDevice(Visit visit)
{
    // GUID_DEVCLASS_PORTS: "Ports (COM & LPT)".
    const GUID portsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    const HDEVINFO set = SetupDiGetClassDevsA(&portsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        char portName[textCapacity];
        if (devicePortName(set, &device, portName) && visit(set, &device, portName))
            break;
    }
    SetupDiDestroyDeviceInfoList(set);
}

void describeFromSetupApi(PortList *list)
{
    forEachPortDevice([list](HDEVINFO set, SP_DEVINFO_DATA *device, const char *portName) -> bool {
        for (std::uint32_t i = 0; i < list->count; ++i) {
            if (!sameWindowsPort(list->ports[i].name, portName))
                continue;
            char friendlyName[textCapacity];
            char hardwareId[textCapacity];
            char instanceId[textCapacity];
            deviceText(set, device, SPDRP_FRIENDLYNAME, friendlyName);
            if (friendlyName[0] == '\0')
                deviceText(set, device, SPDRP_DEVICEDESC, friendlyName);
            deviceText(set, device, SPDRP_HARDWAREID, hardwareId);
            deviceInstanceId(set, device, instanceId);
            describeWindowsPort(friendlyName, hardwareId, instanceId, list->ports[i].description);
            break;
        }
        return false;
    });
}

} // namespace

ListOutcome listSystemPorts(const char *, PortList *list)
{
    list->count = 0;
    list->namesUnderRoot = false;
    listRegistryPorts(list);
    describeFromSetupApi(list);
    return ListOutcome::listed;
}

BluetoothDirection listedBluetoothDirection(const char *name)
{
    BluetoothDirection direction = BluetoothDirection::none;
    forEachPortDevice([name, &direction](HDEVINFO set, SP_DEVINFO_DATA *device, const char *portName) -> bool {
        if (!sameWindowsPort(name, portName))
            return false;
        char instanceId[textCapacity];
        deviceInstanceId(set, device, instanceId);
        direction = bluetoothDirection(instanceId);
        return true;
    });
    return direction;
}

} // namespace mexlink
