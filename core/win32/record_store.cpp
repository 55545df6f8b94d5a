// Win32: the record's text is kept in a named section of memory, "the
// attached ports of process P" in the session's local namespace: every
// plug-in finds it by name without state of its own, it outlives any one
// plug-in, and it ends with the process. The handle that made it is never
// closed: that keeps the section alive until the process ends.
//
// Not the environment, though the system keeps a block of it per process:
// MATLAB's setenv writes there, so a text set by the user (or a saved one
// set back) would be read as a record, and the plug-ins would act on
// handles that are not their ports.
#include "port/platform.hpp"

#include <cstdio>
#include <cstring>

#include <windows.h>

namespace mexlink {

namespace {

// Room for "Local\mexlink attached ports 4294967295".
constexpr std::size_t sectionNameCapacity = 48;

void sectionName(char *name)
{
    std::snprintf(name, sectionNameCapacity, "Local\\mexlink attached ports %lu",
                  static_cast<unsigned long>(GetCurrentProcessId()));
}

} // namespace

std::uint32_t currentProcessId() { return GetCurrentProcessId(); }

int loadRecordText(char *text)
{
    char name[sectionNameCapacity];
    sectionName(name);
    const HANDLE section = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    if (section == nullptr)
        return 0;
    const void *view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, recordTextCapacity);
    const void *end = view == nullptr ? nullptr : std::memchr(view, '\0', recordTextCapacity);
    if (end != nullptr)
        std::memcpy(text, view, static_cast<std::size_t>(static_cast<const char *>(end) - static_cast<const char *>(view)) + 1);
    if (view != nullptr)
        UnmapViewOfFile(view);
    CloseHandle(section);
    return end != nullptr;
}

int storeRecordText(const char *text)
{
    const std::size_t length = std::strlen(text);
    if (length >= recordTextCapacity)
        return 0;
    char name[sectionNameCapacity];
    sectionName(name);
    HANDLE section = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    const bool opened = section != nullptr;
    if (!opened)
        section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, recordTextCapacity, name);
    if (section == nullptr)
        return 0;
    void *view = MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, recordTextCapacity);
    if (view != nullptr) {
        std::memcpy(view, text, length + 1);
        UnmapViewOfFile(view);
    }
    // The handle that made the section keeps it alive, unless nothing could
    // be kept in it.
    if (opened || view == nullptr)
        CloseHandle(section);
    return view != nullptr;
}

} // namespace mexlink
