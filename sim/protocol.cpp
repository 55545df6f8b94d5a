#include "protocol.hpp"

#include <cctype>

namespace linksim {

namespace {

constexpr size_t kMinBody = 2;              // stop: type + code
constexpr size_t kMaxBody = 3 + kMaxName;   // start with the longest name

int body_fits(uint8_t code, size_t body)
{
    switch (code) {
    case kCmdStart: return body >= 3 && body <= kMaxBody;
    case kCmdStop: return body == 2;
    case kCmdMailbox: return body == kMailboxLen - 2;
    default: return 0;
    }
}

// Checks payload bytes b[4..n) of a telegram of total length `total`, so a
// bad telegram is rejected as soon as its first wrong byte arrives.
int payload_prefix_ok(const uint8_t* b, size_t n, size_t total)
{
    const uint8_t code = b[3];
    for (size_t i = 4; i < n && i < total; ++i) {
        const uint8_t c = b[i];
        if (code == kCmdStart) {
            const int last = i + 1 == total;
            if (last != (c == 0)) return 0;
        } else if (code == kCmdMailbox) {
            if (i == 4 && c != 1) return 0;
            if (i == 5 && c != 10) return 0;
            if (i >= 6 && i < 6 + kMailboxText && !std::isdigit(c)) return 0;
            if (i == kMailboxLen - 1 && c != 0) return 0;
        }
    }
    return 1;
}

void put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int parse_hex_token(const std::string& tok, std::vector<uint8_t>* out)
{
    if (tok.size() == 1) {
        const int v = hex_value(tok[0]);
        if (v < 0) return 0;
        out->push_back(static_cast<uint8_t>(v));
        return 1;
    }
    if (tok.size() % 2 != 0) return 0;
    for (size_t i = 0; i < tok.size(); i += 2) {
        const int hi = hex_value(tok[i]);
        const int lo = hex_value(tok[i + 1]);
        if (hi < 0 || lo < 0) return 0;
        out->push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return 1;
}

}  // namespace

Scan scan_telegram(const uint8_t* b, size_t n, size_t* len)
{
    // Each header byte is judged as soon as it is there, so garbage is
    // skipped without waiting for more input.
    if (n < 1) return Scan::NeedMore;
    if (b[0] < kMinBody || b[0] > kMaxBody) return Scan::Skip;
    if (n < 2) return Scan::NeedMore;
    if (b[1] != 0) return Scan::Skip;
    if (n < 3) return Scan::NeedMore;
    if (b[2] != kTelegramType) return Scan::Skip;
    if (n < 4) return Scan::NeedMore;
    if (!body_fits(b[3], b[0])) return Scan::Skip;
    const size_t total = static_cast<size_t>(b[0]) + 2;
    if (!payload_prefix_ok(b, n, total)) return Scan::Skip;
    if (n < total) return Scan::NeedMore;
    *len = total;
    return Scan::Complete;
}

int parse_start(const uint8_t* t, size_t len, std::string* name)
{
    if (len < 5 || t[3] != kCmdStart) return 0;
    name->assign(reinterpret_cast<const char*>(t + 4), len - 5);
    return 1;
}

int parse_stop(const uint8_t* t, size_t len)
{
    return len == 4 && t[3] == kCmdStop;
}

int parse_mailbox(const uint8_t* t, size_t len, std::string* text, int values[3])
{
    if (len != kMailboxLen || t[3] != kCmdMailbox) return 0;
    text->assign(reinterpret_cast<const char*>(t + 6), kMailboxText);
    for (int i = 0; i < 3; ++i) {
        const uint8_t* d = t + 6 + 3 * i;
        values[i] = (d[0] - '0') * 100 + (d[1] - '0') * 10 + (d[2] - '0');
    }
    return 1;
}

int32_t clamp_angle(long deg)
{
    if (deg > kMaxAngle) return kMaxAngle;
    if (deg < -kMaxAngle) return -kMaxAngle;
    return static_cast<int32_t>(deg);
}

uint32_t fold_angle(int32_t deg)
{
    const int32_t a = clamp_angle(deg);
    return a >= 0 ? static_cast<uint32_t>(a) : static_cast<uint32_t>(a + 65535);
}

void encode_frame(const FrameData& f, uint8_t out[kFrameLen])
{
    out[0] = static_cast<uint8_t>(kFrameLen - 2);
    out[1] = 0;
    out[2] = 0xA5;
    for (int i = 0; i < 4; ++i) put16(out + 3 + 2 * i, f.v[i]);
    for (int i = 0; i < 3; ++i) put32(out + 11 + 4 * i, fold_angle(f.angle[i]));
}

std::string hex_bytes(const uint8_t* p, size_t n)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(n * 3);
    for (size_t i = 0; i < n; ++i) {
        if (i) s += ' ';
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

std::string escape_name(const std::string& name)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string s;
    for (unsigned char c : name) {
        if (c >= 0x20 && c < 0x7f) {
            s += static_cast<char>(c);
        } else {
            s += "\\x";
            s += digits[c >> 4];
            s += digits[c & 15];
        }
    }
    return s;
}

int parse_hex(const std::string& text, std::vector<uint8_t>* out)
{
    out->clear();
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        size_t j = i;
        while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j]))) ++j;
        if (j > i && !parse_hex_token(text.substr(i, j - i), out)) return 0;
        i = j;
    }
    return !out->empty();
}

}  // namespace linksim
