#include "port/socket_name.hpp"

#include <cstring>

namespace mexlink {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A host name or an IPv4 address; the lookup judges the rest.
bool isHostNameChar(char c) { return isLetter(c) || isDigit(c) || c == '-' || c == '.' || c == '_'; }

// An IPv6 address, with an optional zone after '%'.
bool isAddress6Char(char c) { return isDigit(c) || isLetter(c) || c == ':' || c == '.' || c == '%' || c == '-'; }

bool startsWithScheme(const char *name)
{
    for (std::size_t i = 0; socketScheme[i] != '\0'; ++i) {
        const char a = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
        if (a != socketScheme[i])
            return false;
    }
    return true;
}

// Copies [begin, end) into `out` (capacity bytes with its NUL) when every
// character passes `allowed`.
bool takeHost(const char *begin, const char *end, bool (*allowed)(char), char *out)
{
    const std::size_t n = static_cast<std::size_t>(end - begin);
    if (n == 0 || n >= socketHostCapacity)
        return false;
    for (const char *p = begin; p != end; ++p)
        if (!allowed(*p))
            return false;
    std::memcpy(out, begin, n);
    out[n] = '\0';
    return true;
}

// One to five digits, 1 to 65535, and the end of the name; written back
// without leading zeros.
bool takeService(const char *text, char *out)
{
    std::uint32_t value = 0;
    std::size_t n = 0;
    for (; isDigit(text[n]); ++n) {
        if (n == socketServiceCapacity - 1)
            return false;
        value = value * 10 + static_cast<std::uint32_t>(text[n] - '0');
    }
    if (n == 0 || text[n] != '\0' || value == 0 || value > 65535)
        return false;
    char digits[socketServiceCapacity];
    std::size_t k = socketServiceCapacity - 1;
    digits[k] = '\0';
    for (; value != 0; value /= 10)
        digits[--k] = static_cast<char>('0' + value % 10);
    std::memcpy(out, digits + k, socketServiceCapacity - k);
    return true;
}

} // namespace

PortNameKind parsePortName(const char *name, SocketName *socket)
{
    if (!startsWithScheme(name))
        return PortNameKind::device;
    const char *host = name + sizeof socketScheme - 1;
    bool ok = false;
    if (*host == '[') {
        const char *close = std::strchr(host, ']');
        ok = close != nullptr && close[1] == ':' && takeHost(host + 1, close, isAddress6Char, socket->host)
             && takeService(close + 2, socket->service);
    } else {
        const char *colon = std::strrchr(host, ':');
        ok = colon != nullptr && takeHost(host, colon, isHostNameChar, socket->host)
             && takeService(colon + 1, socket->service);
    }
    return ok ? PortNameKind::socket : PortNameKind::malformed;
}

} // namespace mexlink
