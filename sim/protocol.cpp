#include "protocol.hpp"

#include <cctype>

namespace linksim {

namespace {

constexpr std::size_t minBodyLength = 2;                 // stop: type + code
constexpr std::size_t maxBodyLength = 3 + maxNameLength; // start with the longest name
constexpr char hexDigits[] = "0123456789abcdef";

bool bodyFits(std::uint8_t code, std::size_t body)
{
    switch (code) {
    case startCode: return body >= 3 && body <= maxBodyLength;
    case stopCode: return body == stopLength - 2;
    case mailboxCode: return body == mailboxLength - 2;
    default: return false;
    }
}

// Checks payload bytes b[4..count) of a telegram of total length `total`, so
// a bad telegram is rejected as soon as its first wrong byte arrives.
bool payloadPrefixOk(const std::uint8_t *b, std::size_t count, std::size_t total)
{
    const std::uint8_t code = b[3];
    for (std::size_t i = 4; i < count && i < total; ++i) {
        const std::uint8_t c = b[i];
        if (code == startCode) {
            const bool last = i + 1 == total;
            if (last != (c == 0))
                return false;
        } else if (code == mailboxCode) {
            if (i == 4 && c != mailboxNumber)
                return false;
            if (i == 5 && c != mailboxMessageSize)
                return false;
            if (i >= 6 && i < 6 + mailboxTextLength && !std::isdigit(c))
                return false;
            if (i == mailboxLength - 1 && c != 0)
                return false;
        }
    }
    return true;
}

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

Scan scanTelegram(const std::uint8_t *b, std::size_t count, std::size_t *length)
{
    // Each header byte is judged as soon as it is there, so garbage is
    // skipped without waiting for more input.
    if (count < 1)
        return Scan::needMore;
    if (b[0] < minBodyLength || b[0] > maxBodyLength)
        return Scan::skip;
    if (count < 2)
        return Scan::needMore;
    if (b[1] != 0)
        return Scan::skip;
    if (count < 3)
        return Scan::needMore;
    if (b[2] != telegramType)
        return Scan::skip;
    if (count < 4)
        return Scan::needMore;
    if (!bodyFits(b[3], b[0]))
        return Scan::skip;
    const std::size_t total = static_cast<std::size_t>(b[0]) + 2;
    if (!payloadPrefixOk(b, count, total))
        return Scan::skip;
    if (count < total)
        return Scan::needMore;
    *length = total;
    return Scan::complete;
}

int parseStart(const std::uint8_t *telegram, std::size_t length, std::string *name)
{
    if (length < 5 || telegram[3] != startCode)
        return 0;
    name->assign(reinterpret_cast<const char *>(telegram + 4), length - 5);
    return 1;
}

int parseStop(const std::uint8_t *telegram, std::size_t length)
{
    return length == stopLength && telegram[3] == stopCode;
}

int parseMailbox(const std::uint8_t *telegram, std::size_t length, std::string *text, int values[3])
{
    if (length != mailboxLength || telegram[3] != mailboxCode)
        return 0;
    text->assign(reinterpret_cast<const char *>(telegram + 6), mailboxTextLength);
    for (int i = 0; i < 3; ++i) {
        const std::uint8_t *digits = telegram + 6 + 3 * i;
        values[i] = (digits[0] - '0') * 100 + (digits[1] - '0') * 10 + (digits[2] - '0');
    }
    return 1;
}

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
