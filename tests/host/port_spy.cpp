#include "port_spy.hpp"

#include <cstdio>
#include <cstring>

namespace {

struct SpyState {
    bool dirty = false;
    bool aborting = false;
    bool haveSettings = false;
    DCB settings{};
};

// The runner is single-threaded; one state serves the process.
SpyState &spy()
{
    static SpyState state;
    return state;
}

BOOL WINAPI spyGetCommState(HANDLE port, LPDCB state)
{
    if (!GetCommState(port, state))
        return FALSE;
    if (spy().dirty) {
        // What a plug-in must switch off ...
        state->fBinary = FALSE;
        state->fOutX = state->fInX = TRUE;
        state->fNull = state->fErrorChar = state->fAbortOnError = TRUE;
        // ... and what it must keep.
        state->StopBits = TWOSTOPBITS;
        state->fOutxCtsFlow = TRUE;
        state->fRtsControl = RTS_CONTROL_HANDSHAKE;
        state->fDtrControl = DTR_CONTROL_ENABLE;
    }
    return TRUE;
}

BOOL WINAPI spySetCommState(HANDLE port, LPDCB state)
{
    if (!spy().haveSettings)
        spy().settings = *state;
    spy().haveSettings = true;
    // From here on the port holds what was set, as a real one does.
    spy().dirty = false;
    return SetCommState(port, state);
}

BOOL aborted()
{
    if (!spy().aborting)
        return FALSE;
    SetLastError(ERROR_OPERATION_ABORTED);
    return TRUE;
}

BOOL WINAPI spyReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped)
{
    return aborted() ? FALSE : ReadFile(file, buffer, size, got, overlapped);
}

BOOL WINAPI spyWriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    return aborted() ? FALSE : WriteFile(file, buffer, size, written, overlapped);
}

BOOL WINAPI spyClearCommError(HANDLE port, LPDWORD errors, LPCOMSTAT status)
{
    spy().aborting = false;
    return ClearCommError(port, errors, status);
}

struct Redirect {
    const char *name;
    void *to;
};

const Redirect redirects[] = {
    {"GetCommState", reinterpret_cast<void *>(&spyGetCommState)},
    {"SetCommState", reinterpret_cast<void *>(&spySetCommState)},
    {"ReadFile", reinterpret_cast<void *>(&spyReadFile)},
    {"WriteFile", reinterpret_cast<void *>(&spyWriteFile)},
    {"ClearCommError", reinterpret_cast<void *>(&spyClearCommError)},
};

void redirect(ULONG_PTR *slot, void *to)
{
    DWORD old = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = reinterpret_cast<ULONG_PTR>(to);
    VirtualProtect(slot, sizeof *slot, old, &old);
}

} // namespace

void spyOnPort(HMODULE module)
{
    auto *base = reinterpret_cast<BYTE *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return;
    for (auto *dll = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress); dll->Name != 0;
         ++dll) {
        if (_stricmp(reinterpret_cast<const char *>(base + dll->Name), "kernel32.dll") != 0)
            continue;
        const auto *names = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + dll->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + dll->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto *byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            for (const Redirect &r : redirects)
                if (std::strcmp(reinterpret_cast<const char *>(byName->Name), r.name) == 0)
                    redirect(reinterpret_cast<ULONG_PTR *>(&slots->u1.Function), r.to);
        }
    }
}

void spyLeavePortDirty(bool dirty)
{
    spy().dirty = dirty;
    spy().haveSettings = false;
}

void spyAbortNextIo() { spy().aborting = true; }

std::string spyFirstSettings()
{
    if (!spy().haveSettings)
        return "none";
    spy().haveSettings = false;
    const DCB &d = spy().settings;
    char text[512];
    std::snprintf(text, sizeof text,
                  "BaudRate=%lu ByteSize=%u Parity=%u StopBits=%u fBinary=%u fOutX=%u fInX=%u fNull=%u "
                  "fErrorChar=%u fAbortOnError=%u fOutxCtsFlow=%u fRtsControl=%u fOutxDsrFlow=%u fDtrControl=%u",
                  static_cast<unsigned long>(d.BaudRate), d.ByteSize, d.Parity, d.StopBits, d.fBinary, d.fOutX, d.fInX,
                  d.fNull, d.fErrorChar, d.fAbortOnError, d.fOutxCtsFlow, d.fRtsControl, d.fOutxDsrFlow, d.fDtrControl);
    return text;
}
