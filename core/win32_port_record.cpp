// Win32: the record's text is a variable of the process's environment block,
// which the system keeps for the process and hands to each plug-in by name
// (each plug-in's C runtime keeps its own copy of the environment, so the
// runtime's getenv would not do).
#include "port_record.hpp"

#include <windows.h>

namespace mexlink {

std::uint32_t currentProcessId() { return GetCurrentProcessId(); }

const char *recordText(char *scratch)
{
    const DWORD n = GetEnvironmentVariableA(recordVariable, scratch, recordTextCapacity);
    return n > 0 && n < recordTextCapacity ? scratch : nullptr;
}

int storeRecordText(const char *text) { return SetEnvironmentVariableA(recordVariable, text) != 0; }

} // namespace mexlink
