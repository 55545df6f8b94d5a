// linksim.exe's control input, read by a thread of its own.
#include "control_input.hpp"

namespace linksim {

namespace {

DWORD WINAPI readControl(void *argument)
{
    auto *reader = static_cast<ControlReader *>(argument);
    for (;;) {
        if (!ReadFile(reader->input, reader->buffer, sizeof reader->buffer, &reader->count, nullptr))
            reader->count = 0;
        SetEvent(reader->ready);
        if (reader->count == 0)
            return 0;
        WaitForSingleObject(reader->taken, INFINITE);
    }
}

} // namespace

ControlReader *startControlReader()
{
    auto *reader = new ControlReader;
    reader->input = GetStdHandle(STD_INPUT_HANDLE);
    reader->ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    reader->taken = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const HANDLE thread =
        reader->ready && reader->taken ? CreateThread(nullptr, 0, readControl, reader, 0, nullptr) : nullptr;
    if (!thread) {
        delete reader;
        return nullptr;
    }
    CloseHandle(thread);
    return reader;
}

void takeControl(Simulator *simulator, ControlReader *reader)
{
    if (reader->count == 0)
        onControlEnd(simulator);
    else
        onControlInput(simulator, reader->buffer, reader->count);
    SetEvent(reader->taken);
}

} // namespace linksim
