#include "port_spy.hpp"

#include <cstdio>
#include <cstring>

namespace {

struct SpyState {
    bool dirty = false;
    bool aborting = false;
    bool haveSettings = false;
    DCB settings{};
    HANDLE watched = nullptr;
    unsigned long touched = 0;
    HANDLE unplugged = nullptr;
    bool outputHeld = false;
};

// The runner is single-threaded; one state serves the process.
SpyState &spy()
{
    static SpyState state;
    return state;
}

// Notes a call on `handle`; false (with the device's error set) when its
// device went away.
void noteCall(HANDLE handle)
{
    if (handle != nullptr && handle == spy().watched)
        ++spy().touched;
}

BOOL reaches(HANDLE handle, DWORD goneError = ERROR_BAD_COMMAND)
{
    noteCall(handle);
    if (handle != nullptr && handle == spy().unplugged) {
        SetLastError(goneError);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI spyGetCommState(HANDLE port, LPDCB state)
{
    if (!reaches(port) || !GetCommState(port, state))
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
    if (!reaches(port))
        return FALSE;
    if (!spy().haveSettings)
        spy().settings = *state;
    spy().haveSettings = true;
    // From here on the port holds what was set, as a real one does.
    spy().dirty = false;
    return SetCommState(port, state);
}

// What a port whose output flow control holds up reports as still queued.
constexpr DWORD heldOutput = 64;

BOOL aborted()
{
    if (!spy().aborting)
        return FALSE;
    SetLastError(ERROR_OPERATION_ABORTED);
    return TRUE;
}

BOOL WINAPI spyReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped)
{
    return reaches(file, ERROR_GEN_FAILURE) && !aborted() && ReadFile(file, buffer, size, got, overlapped);
}

BOOL WINAPI spyWriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    return reaches(file, ERROR_GEN_FAILURE) && !aborted() && WriteFile(file, buffer, size, written, overlapped);
}

BOOL WINAPI spyClearCommError(HANDLE port, LPDWORD errors, LPCOMSTAT status)
{
    if (!reaches(port))
        return FALSE;
    spy().aborting = false;
    if (!ClearCommError(port, errors, status))
        return FALSE;
    if (spy().outputHeld && status != nullptr)
        status->cbOutQue += heldOutput;
    return TRUE;
}

BOOL WINAPI spyGetCommTimeouts(HANDLE port, LPCOMMTIMEOUTS t) { return reaches(port) && GetCommTimeouts(port, t); }
BOOL WINAPI spySetCommTimeouts(HANDLE port, LPCOMMTIMEOUTS t) { return reaches(port) && SetCommTimeouts(port, t); }
BOOL WINAPI spyGetCommMask(HANDLE port, LPDWORD mask) { return reaches(port) && GetCommMask(port, mask); }
BOOL WINAPI spySetCommMask(HANDLE port, DWORD mask) { return reaches(port) && SetCommMask(port, mask); }
BOOL WINAPI spyPurgeComm(HANDLE port, DWORD flags) { return reaches(port) && PurgeComm(port, flags); }
BOOL WINAPI spyFlushFileBuffers(HANDLE file) { return reaches(file, ERROR_GEN_FAILURE) && FlushFileBuffers(file); }

// These work whether or not the device is there, as on Windows.
DWORD WINAPI spyGetFileType(HANDLE file)
{
    noteCall(file);
    return GetFileType(file);
}

BOOL WINAPI spyGetHandleInformation(HANDLE handle, LPDWORD flags)
{
    noteCall(handle);
    return GetHandleInformation(handle, flags);
}

BOOL WINAPI spyDuplicateHandle(HANDLE fromProcess, HANDLE from, HANDLE toProcess, LPHANDLE to, DWORD access,
                               BOOL inherit, DWORD options)
{
    noteCall(from);
    return DuplicateHandle(fromProcess, from, toProcess, to, access, inherit, options);
}

BOOL WINAPI spyCloseHandle(HANDLE handle)
{
    noteCall(handle);
    if (handle == spy().unplugged)
        spy().unplugged = nullptr;
    return CloseHandle(handle);
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
    {"GetCommTimeouts", reinterpret_cast<void *>(&spyGetCommTimeouts)},
    {"SetCommTimeouts", reinterpret_cast<void *>(&spySetCommTimeouts)},
    {"GetCommMask", reinterpret_cast<void *>(&spyGetCommMask)},
    {"SetCommMask", reinterpret_cast<void *>(&spySetCommMask)},
    {"PurgeComm", reinterpret_cast<void *>(&spyPurgeComm)},
    {"FlushFileBuffers", reinterpret_cast<void *>(&spyFlushFileBuffers)},
    {"GetFileType", reinterpret_cast<void *>(&spyGetFileType)},
    {"GetHandleInformation", reinterpret_cast<void *>(&spyGetHandleInformation)},
    {"DuplicateHandle", reinterpret_cast<void *>(&spyDuplicateHandle)},
    {"CloseHandle", reinterpret_cast<void *>(&spyCloseHandle)},
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

void spyWatch(HANDLE handle)
{
    spy().watched = handle;
    spy().touched = 0;
}

unsigned long spyTouched() { return spy().touched; }

void spyUnplug(HANDLE handle) { spy().unplugged = handle; }

void spyHoldOutput(bool held) { spy().outputHeld = held; }
