// The record's entries and its text.
#include "port/record.hpp"

#include <cstring>

namespace mexlink {

namespace {

// Reads a decimal number up to the next space or the end; false on anything
// else or a value beyond `limit`. Moves *text past it and one space.
bool takeNumber(const char **text, std::uint64_t limit, std::uint64_t *value)
{
    const char *p = *text;
    std::uint64_t v = 0;
    if (*p < '0' || *p > '9')
        return false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const std::uint64_t digit = static_cast<std::uint64_t>(*p - '0');
        if (v > (limit - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    if (*p != ' ' && *p != '\0')
        return false;
    *text = *p == ' ' ? p + 1 : p;
    *value = v;
    return true;
}

bool takeWord(const char **text, const char *word)
{
    const std::size_t n = std::strlen(word);
    if (std::strncmp(*text, word, n) != 0 || (*text)[n] != ' ')
        return false;
    *text += n + 1;
    return true;
}

const char *kindWord(PortKind kind) { return kind == PortKind::socket ? "socket" : "serial"; }

// "serial" or "socket", then a space or the end.
bool takeKind(const char **text, PortKind *kind)
{
    const PortKind kinds[] = {PortKind::serial, PortKind::socket};
    for (const PortKind k : kinds) {
        const char *word = kindWord(k);
        const std::size_t n = std::strlen(word);
        if (std::strncmp(*text, word, n) == 0 && ((*text)[n] == ' ' || (*text)[n] == '\0')) {
            *text += (*text)[n] == ' ' ? n + 1 : n;
            *kind = k;
            return true;
        }
    }
    return false;
}

bool takeHandle(const char **text, std::uint32_t *handle)
{
    std::uint64_t v = 0;
    if (!takeNumber(text, 0xFFFFFFFFu, &v))
        return false;
    *handle = static_cast<std::uint32_t>(v);
    return true;
}

// Appends `word` or a decimal number to text[0..capacity); false when it
// does not fit (the terminating NUL included).
bool append(char *text, std::uint32_t capacity, std::uint32_t *used, const char *word)
{
    const std::size_t n = std::strlen(word);
    if (*used + n >= capacity)
        return false;
    std::memcpy(text + *used, word, n + 1);
    *used += static_cast<std::uint32_t>(n);
    return true;
}

bool appendNumber(char *text, std::uint32_t capacity, std::uint32_t *used, std::uint64_t value)
{
    char digits[24];
    char *p = digits + sizeof digits;
    *--p = '\0';
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    *--p = ' ';
    return append(text, capacity, used, p);
}

} // namespace

void emptyRecord(PortRecord *record)
{
    record->portCount = 0;
    record->freedCount = 0;
}

int parsePortRecord(const char *text, std::uint32_t pid, PortRecord *record)
{
    emptyRecord(record);
    std::uint64_t owner = 0;
    if (text == nullptr || !takeWord(&text, "pid") || !takeNumber(&text, 0xFFFFFFFFu, &owner) || owner != pid)
        return 0;
    bool good = true;
    while (good && *text != '\0') {
        if (takeWord(&text, "port")) {
            Port port{};
            std::uint64_t device = 0;
            good = record->portCount < maxAttachedPorts && takeHandle(&text, &port.handle)
                   && takeHandle(&text, &port.timeoutMs) && takeNumber(&text, ~std::uint64_t(0), &device)
                   && takeKind(&text, &port.kind);
            port.device = device;
            if (good)
                record->ports[record->portCount++] = port;
        } else {
            good = takeWord(&text, "freed") && record->freedCount < freedNumbersKept
                   && takeHandle(&text, &record->freed[record->freedCount]);
            if (good)
                ++record->freedCount;
        }
    }
    if (good)
        return 1;
    emptyRecord(record);
    return 0;
}

int formatPortRecord(const PortRecord &record, std::uint32_t pid, char *text, std::uint32_t capacity)
{
    std::uint32_t used = 0;
    bool fits = append(text, capacity, &used, "pid") && appendNumber(text, capacity, &used, pid);
    for (std::uint32_t i = 0; fits && i < record.portCount; ++i) {
        const Port &p = record.ports[i];
        fits = append(text, capacity, &used, " port") && appendNumber(text, capacity, &used, p.handle)
               && appendNumber(text, capacity, &used, p.timeoutMs) && appendNumber(text, capacity, &used, p.device)
               && append(text, capacity, &used, " ") && append(text, capacity, &used, kindWord(p.kind));
    }
    for (std::uint32_t i = 0; fits && i < record.freedCount; ++i)
        fits = append(text, capacity, &used, " freed") && appendNumber(text, capacity, &used, record.freed[i]);
    return fits;
}

const Port *findAttached(const PortRecord &record, std::uint32_t handle)
{
    for (std::uint32_t i = 0; i < record.portCount; ++i)
        if (record.ports[i].handle == handle)
            return &record.ports[i];
    return nullptr;
}

int addAttached(PortRecord *record, const Port &port)
{
    if (record->portCount == maxAttachedPorts)
        return 0;
    record->ports[record->portCount++] = port;
    return 1;
}

void removeAttached(PortRecord *record, std::uint32_t handle)
{
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < record->portCount; ++i)
        if (record->ports[i].handle != handle)
            record->ports[kept++] = record->ports[i];
    if (kept == record->portCount)
        return;
    record->portCount = kept;
    // The number moves to the newest end, once.
    std::uint32_t others = 0;
    for (std::uint32_t i = 0; i < record->freedCount; ++i)
        if (record->freed[i] != handle)
            record->freed[others++] = record->freed[i];
    record->freedCount = others;
    if (record->freedCount == freedNumbersKept) {
        std::memmove(record->freed, record->freed + 1, (freedNumbersKept - 1) * sizeof record->freed[0]);
        --record->freedCount;
    }
    record->freed[record->freedCount++] = handle;
}

bool recentlyFreed(const PortRecord &record, std::uint32_t handle)
{
    for (std::uint32_t i = 0; i < record.freedCount; ++i)
        if (record.freed[i] == handle)
            return true;
    return false;
}

} // namespace mexlink
