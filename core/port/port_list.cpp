#include "port/port_list.hpp"

#include <algorithm>
#include <cstring>

namespace mexlink {

namespace {

constexpr char devicePrefix[] = "\\\\.\\";
constexpr std::size_t devicePrefixLength = sizeof devicePrefix - 1;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

char lowerCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithNoCase(const char *text, const char *start)
{
    for (; *start != '\0'; ++text, ++start)
        if (lowerCase(*text) != lowerCase(*start))
            return false;
    return true;
}

const char *withoutDevicePrefix(const char *name)
{
    return std::strncmp(name, devicePrefix, devicePrefixLength) == 0 ? name + devicePrefixLength : name;
}

int byteOrder(char a, char b)
{
    const auto x = static_cast<unsigned char>(a);
    const auto y = static_cast<unsigned char>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

std::size_t digitRun(const char *text)
{
    std::size_t n = 0;
    while (isDigit(text[n]))
        ++n;
    return n;
}

// The four characters after `key` (any case) in `text`, or "".
void idAfter(const char *text, const char *key, char *id)
{
    id[0] = '\0';
    for (; *text != '\0'; ++text)
        if (startsWithNoCase(text, key)) {
            const char *digits = text + std::strlen(key);
            std::size_t n = 0;
            while (n < 4 && digits[n] != '\0') {
                id[n] = digits[n];
                ++n;
            }
            id[n] = '\0';
            return;
        }
}

} // namespace

int naturalCompare(const char *a, const char *b)
{
    const char *p = withoutDevicePrefix(a);
    const char *q = withoutDevicePrefix(b);
    while (*p != '\0' && *q != '\0') {
        if (isDigit(*p) && isDigit(*q)) {
            // By value: leading zeros aside, the longer run is the larger.
            while (*p == '0' && isDigit(p[1]))
                ++p;
            while (*q == '0' && isDigit(q[1]))
                ++q;
            const std::size_t m = digitRun(p);
            const std::size_t n = digitRun(q);
            if (m != n)
                return m < n ? -1 : 1;
            const int order = std::strncmp(p, q, m);
            if (order != 0)
                return order < 0 ? -1 : 1;
            p += m;
            q += m;
        } else if (*p != *q) {
            return byteOrder(*p, *q);
        } else {
            ++p;
            ++q;
        }
    }
    if (*p != *q)
        return byteOrder(*p, *q);
    // Alike but for leading zeros or the prefix: the names themselves decide.
    const int order = std::strcmp(a, b);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

void sortListedPorts(PortList *list)
{
    std::sort(list->ports, list->ports + list->count,
              [](const ListedPort &x, const ListedPort &y) { return naturalCompare(x.name, y.name) < 0; });
}

void appendDescription(char *description, const char *item)
{
    if (item[0] == '\0')
        return;
    std::size_t used = std::strlen(description);
    const char *parts[2] = {used > 0 ? ", " : "", item};
    for (const char *part : parts)
        for (; *part != '\0'; ++part) {
            if (used + 1 >= listedDescriptionCapacity) {
                // Cut: no half of a character that takes several bytes.
                while (used > 0 && static_cast<unsigned char>(description[used - 1]) >= 0x80)
                    --used;
                description[used] = '\0';
                return;
            }
            description[used++] = *part;
        }
    description[used] = '\0';
}

void appendUsbIds(char *description, const char *vendorId, const char *productId)
{
    char item[] = "USB vvvv:pppp";
    for (std::size_t i = 0; i < 4; ++i) {
        if (!isHexDigit(vendorId[i]) || !isHexDigit(productId[i]))
            return;
        item[4 + i] = lowerCase(vendorId[i]);
        item[9 + i] = lowerCase(productId[i]);
    }
    if (vendorId[4] == '\0' && productId[4] == '\0')
        appendDescription(description, item);
}

int windowsPortName(const char *registryName, char *name)
{
    const std::size_t n = std::strlen(registryName);
    // COM1 to COM9 are names of their own; every other device, COM10 on
    // included, is reached as \\.\NAME.
    const bool plain =
        n == 4 && startsWithNoCase(registryName, "COM") && registryName[3] >= '1' && registryName[3] <= '9';
    const std::size_t prefix = plain ? 0 : devicePrefixLength;
    if (n == 0 || prefix + n >= listedNameCapacity)
        return 0;
    std::memcpy(name, devicePrefix, prefix);
    std::memcpy(name + prefix, registryName, n + 1);
    return 1;
}

bool sameWindowsPort(const char *listedName, const char *registryName)
{
    const char *p = withoutDevicePrefix(listedName);
    const char *q = withoutDevicePrefix(registryName);
    return std::strlen(p) == std::strlen(q) && startsWithNoCase(p, q);
}

BluetoothDirection bluetoothDirection(const char *instanceId)
{
    if (!startsWithNoCase(instanceId, "BTHENUM\\"))
        return BluetoothDirection::none;
    const char *last = std::strrchr(instanceId, '\\') + 1;
    const char *field = std::strrchr(last, '&');
    const char *address = field != nullptr ? field + 1 : last;
    std::size_t digits = 0;
    bool allZero = true;
    for (; address[digits] != '\0' && address[digits] != '_'; ++digits)
        allZero = allZero && address[digits] == '0';
    return digits > 0 && allZero ? BluetoothDirection::incoming : BluetoothDirection::outgoing;
}

void describeWindowsPort(const char *friendlyName, const char *hardwareId, const char *instanceId, char *description)
{
    description[0] = '\0';
    appendDescription(description, friendlyName);
    char vendorId[5];
    char productId[5];
    idAfter(hardwareId, "VID_", vendorId);
    idAfter(hardwareId, "PID_", productId);
    appendUsbIds(description, vendorId, productId);
    switch (bluetoothDirection(instanceId)) {
    case BluetoothDirection::outgoing: appendDescription(description, "Outgoing: use this one"); break;
    case BluetoothDirection::incoming: appendDescription(description, "Incoming: not this one"); break;
    case BluetoothDirection::none: break;
    }
}

} // namespace mexlink
