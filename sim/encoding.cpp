// What the simulator writes: status frames, and bytes as hex for the log and
// the control commands.
#include "protocol.hpp"

#include <cctype>

namespace linksim {

namespace {

constexpr char hexDigits[] = "0123456789abcdef";

void put16(std::uint8_t *p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parseHexToken(const std::string &token, std::vector<std::uint8_t> *out)
{
    if (token.size() == 1) {
        const int v = hexValue(token[0]);
        if (v < 0)
            return false;
        out->push_back(static_cast<std::uint8_t>(v));
        return true;
    }
    if (token.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < token.size(); i += 2) {
        const int high = hexValue(token[i]);
        const int low = hexValue(token[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out->push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

} // namespace

std::int32_t clampAngle(long degrees)
{
    if (degrees > maxAngle)
        return maxAngle;
    if (degrees < -maxAngle)
        return -maxAngle;
    return static_cast<std::int32_t>(degrees);
}

std::uint32_t foldAngle(std::int32_t degrees)
{
    const std::int32_t a = clampAngle(degrees);
    return a >= 0 ? static_cast<std::uint32_t>(a) : static_cast<std::uint32_t>(a + 65535);
}

void encodeFrame(const FrameData &frame, std::uint8_t out[frameLength])
{
    out[0] = static_cast<std::uint8_t>(frameLength - 2);
    out[1] = 0;
    out[2] = frameType;
    for (int i = 0; i < 4; ++i)
        put16(out + 3 + 2 * i, frame.values[i]);
    for (int i = 0; i < 3; ++i)
        put32(out + 11 + 4 * i, foldAngle(frame.angles[i]));
}

std::string hexBytes(const std::uint8_t *bytes, std::size_t count)
{
    std::string s;
    s.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (i)
            s += ' ';
        s += hexDigits[bytes[i] >> 4];
        s += hexDigits[bytes[i] & 15];
    }
    return s;
}

std::string escapeName(const std::string &name)
{
    std::string s;
    for (unsigned char c : name) {
        if (c >= 0x20 && c < 0x7f) {
            s += static_cast<char>(c);
        } else {
            s += "\\x";
            s += hexDigits[c >> 4];
            s += hexDigits[c & 15];
        }
    }
    return s;
}

int parseHex(const std::string &text, std::vector<std::uint8_t> *out)
{
    out->clear();
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        std::size_t j = i;
        while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j])))
            ++j;
        if (j > i && !parseHexToken(text.substr(i, j - i), out))
            return 0;
        i = j;
    }
    return !out->empty();
}

} // namespace linksim
