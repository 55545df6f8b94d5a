// POSIX: the record's text is the value of an environment entry that lives in
// a page of its own. It is put into the environment once (putenv keeps the
// very string, not a copy) and rewritten in place after that, so an update
// neither allocates nor touches the environment's list again. The page opens
// with a header that names its own address: that is how a store tells its
// page from an entry the process inherited or that was set by other means,
// which it replaces rather than writes into.
#include "port_record.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace mexlink {

namespace {

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

const char *recordText(char *) { return std::getenv(recordVariable); }

int storeRecordText(const char *text)
{
    if (std::strlen(text) >= recordTextCapacity)
        return 0;
    if (RecordPage *page = pageOf(std::getenv(recordVariable))) {
        std::strcpy(page->entry + nameLength + 1, text);
        return 1;
    }
    // The page is never unmapped: the environment keeps pointing into it
    // for the rest of the process.
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
