// POSIX: the record's text is the value of the environment entry
// MEXLINK_ATTACHED_PORTS, which every plug-in finds by name.
//
// setenv() would not do: it copies the text into memory of the C library's
// heap on every update and, since a caller may still hold the old value,
// never frees the copy it replaces; and it allocates on a path that may be
// left by the host's error. So the entry lives in a page of its own, mapped
// once and never unmapped (the environment points into it for the rest of
// the process, after the plug-in that made it is long unloaded). It is put
// into the environment with putenv(), which keeps the very string, and
// rewritten in place after that: an update neither allocates nor touches the
// environment's list again.
//
// The page opens with a header that names its own address: only text in
// such a page is the plug-ins' own. A value the process inherited or that
// was set by other means (setenv in Octave, a saved text set back) is never
// read as a record; a store replaces it with a page of its own. A page whose
// entry was unset or replaced is not found again: the ports it lists stay
// open, unreachable, until the process ends.
#include "port/platform.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace mexlink {

namespace {

constexpr char recordVariable[] = "MEXLINK_ATTACHED_PORTS";
constexpr char pageTag[16] = "mexlink record";
constexpr std::size_t nameLength = sizeof recordVariable - 1;

struct RecordPage {
    char tag[sizeof pageTag];
    std::uintptr_t self;
    char entry[nameLength + 1 + recordTextCapacity]; // NAME=TEXT
};

RecordPage *pageOf(const char *value)
{
    if (value == nullptr)
        return nullptr;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(value) - nameLength - 1 - offsetof(RecordPage, entry);
    const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    // A page start lies in the same page as the entry, so reading the
    // header cannot fault; anything else is not one of these pages.
    if (pageSize == 0 || start % pageSize != 0)
        return nullptr;
    auto *page = reinterpret_cast<RecordPage *>(start);
    return std::memcmp(page->tag, pageTag, sizeof pageTag) == 0 && page->self == start ? page : nullptr;
}

void fillEntry(RecordPage *page, const char *text)
{
    std::memcpy(page->entry, recordVariable, nameLength);
    page->entry[nameLength] = '=';
    std::strcpy(page->entry + nameLength + 1, text);
}

} // namespace

std::uint32_t currentProcessId() { return static_cast<std::uint32_t>(getpid()); }

int loadRecordText(char *text)
{
    const RecordPage *page = pageOf(std::getenv(recordVariable));
    const char *value = page == nullptr ? nullptr : page->entry + nameLength + 1;
    const void *end = value == nullptr ? nullptr : std::memchr(value, '\0', recordTextCapacity);
    if (end == nullptr)
        return 0;
    std::memcpy(text, value, static_cast<std::size_t>(static_cast<const char *>(end) - value) + 1);
    return 1;
}

int storeRecordText(const char *text)
{
    if (std::strlen(text) >= recordTextCapacity)
        return 0;
    if (RecordPage *page = pageOf(std::getenv(recordVariable))) {
        std::strcpy(page->entry + nameLength + 1, text);
        return 1;
    }
    void *memory = mmap(nullptr, sizeof(RecordPage), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return 0;
    auto *page = static_cast<RecordPage *>(memory);
    std::memcpy(page->tag, pageTag, sizeof pageTag);
    page->self = reinterpret_cast<std::uintptr_t>(page);
    fillEntry(page, text);
    if (putenv(page->entry) != 0) {
        munmap(memory, sizeof(RecordPage));
        return 0;
    }
    return 1;
}

} // namespace mexlink
