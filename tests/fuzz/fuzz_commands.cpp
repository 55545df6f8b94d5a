// Every command called through the in-process stand-in host with arguments
// of any class, shape and content built from the input.
//
// Port handles come only from a fixed set: numbers that name no descriptor
// (0xFFFFFFFF, 987654, 2^31 - 1, 2^31) and this fuzzer's own attached
// pseudo-terminal, so no call can touch a descriptor that matters. Port names
// for linkAttach come from a fixed set as well: a missing path, /dev/null, a
// file, a directory, and two pseudo-terminals of this fuzzer (one free, one
// held). The line of the held one is loaded with input bytes before each call
// so that reads end quickly (T = 1).
//
// After each call: a success returned outputs of the documented class and
// shape, a failure raised one of the commands' messages and left no output,
// and the number of open descriptors is what it was.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "frame/argument_checks.hpp"
#include "byte_reader.hpp"
#include "frame/messages.hpp"
#include "mexhost.h"
#include "port/serial.hpp"
#include "port/transfer.hpp"

using namespace mexlink;

// fuzz_command_list.inc, written by scripts/fuzz.sh from commands/*.cpp, holds
// COMMAND(name) for each command in name order; each command's mexFunction is
// compiled as mexFunction_<name>.
#define COMMAND(name) extern "C" void mexFunction_##name(int, mxArray *[], int, const mxArray *[]);
#include "fuzz_command_list.inc"
#undef COMMAND

namespace {

struct Command {
    const char *name;
    MexFunction function;
    bool is(const char *other) const { return std::strcmp(name, other) == 0; }
};

#define COMMAND(name) {#name, mexFunction_##name},
constexpr Command commands[] = {
#include "fuzz_command_list.inc"
};
#undef COMMAND
constexpr std::size_t commandCount = sizeof commands / sizeof commands[0];

constexpr mxClassID classes[] = {
    mxDOUBLE_CLASS, mxSINGLE_CLASS, mxINT8_CLASS,     mxUINT8_CLASS,   mxINT16_CLASS,   mxUINT16_CLASS,
    mxINT32_CLASS,  mxUINT32_CLASS, mxINT64_CLASS,    mxUINT64_CLASS,  mxLOGICAL_CLASS, mxCHAR_CLASS,
    mxCELL_CLASS,   mxSTRUCT_CLASS, mxFUNCTION_CLASS, mxUNKNOWN_CLASS,
};
constexpr std::size_t rowChoices[8] = {1, 1, 1, 0, 2, 3, 1, 5};

struct PtyLine {
    int master = -1;
    int slave = -1; // held, as the simulator does, so the line never hangs up between attaches
    std::string path;
};

// The fuzzer's own fixtures, made once per process.
struct Fixture {
    std::string dir;
    std::string file;
    PtyLine free; // nobody holds it: linkAttach may succeed
    PtyLine held; // attached below with T = 1
    std::uint32_t handle = invalidPortHandle;
    int descriptors = 0;
};

void listDescriptors()
{
    DIR *d = opendir("/proc/self/fd");
    if (d == nullptr)
        return;
    while (const dirent *e = readdir(d)) {
        char link[256] = {};
        const std::string path = std::string("/proc/self/fd/") + e->d_name;
        if (readlink(path.c_str(), link, sizeof link - 1) > 0)
            std::fprintf(stderr, "  fd %s -> %s\n", e->d_name, link);
    }
    closedir(d);
}

// Descriptors other than pipes: the commands only ever open paths, while
// the sanitizers' symbolizer may come and go over pipes.
int countDescriptors()
{
    DIR *d = opendir("/proc/self/fd");
    if (d == nullptr)
        return -1;
    int n = 0;
    while (const dirent *e = readdir(d)) {
        char link[256] = {};
        const std::string path = std::string("/proc/self/fd/") + e->d_name;
        if (readlink(path.c_str(), link, sizeof link - 1) > 0 && std::strncmp(link, "pipe:", 5) != 0)
            ++n;
    }
    closedir(d);
    return n;
}

// A raw line as the simulator makes it: without IXON a 0x13 among the line
// bytes would stop the port's output and every write would wait out its
// 2 s time-out.
PtyLine openPty()
{
    PtyLine line;
    line.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    termios settings{};
    if (line.master < 0 || grantpt(line.master) != 0 || unlockpt(line.master) != 0
        || ptsname_r(line.master, name, sizeof name) != 0 || fcntl(line.master, F_SETFL, O_NONBLOCK) != 0
        || (line.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0 || tcgetattr(line.slave, &settings) != 0) {
        std::perror("fuzz_commands: pseudo-terminal");
        std::abort();
    }
    cfmakeraw(&settings);
    if (tcsetattr(line.slave, TCSANOW, &settings) != 0)
        std::abort();
    line.path = name;
    return line;
}

struct AttachArgs {
    std::uint32_t *handle;
    const char *path;
};

void attachHeld(Fixture *f)
{
    AttachArgs args{&f->handle, f->held.path.c_str()};
    const int ok = mexhostRun(
        [](void *context) {
            auto *a = static_cast<AttachArgs *>(context);
            openSerial(a->handle, a->path, 115200, 8, 0, 1);
        },
        &args);
    if (!ok) {
        std::fprintf(stderr, "fuzz_commands: cannot attach %s: %s\n", f->held.path.c_str(), mexhostLastError());
        std::abort();
    }
}

int detachHandle(std::uint32_t handle)
{
    return mexhostRun([](void *context) { closeSerial(static_cast<std::uint32_t *>(context)); }, &handle);
}

Fixture &fixture()
{
    static Fixture *f = [] {
        auto *made = new Fixture;
        char dir[] = "/tmp/mexlink-fuzz-XXXXXX";
        if (mkdtemp(dir) == nullptr)
            std::abort();
        made->dir = dir;
        made->file = made->dir + "/file";
        const int fd = open(made->file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0)
            close(fd);
        std::atexit([] {
            unlink(fixture().file.c_str());
            rmdir(fixture().dir.c_str());
        });
        made->free = openPty();
        made->held = openPty();
        attachHeld(made);
        mexhostClearOutput();
        made->descriptors = countDescriptors();
        return made;
    }();
    return *f;
}

std::string portName(Fixture &f, ByteReader &in)
{
    switch (in.byte() % 7) {
    case 0: return "";
    case 1: {
        // Arbitrary bytes, made harmless: letters and digits under a missing directory.
        std::string name = f.dir + "/missing/";
        const int n = in.byte() % 9;
        for (int i = 0; i < n; ++i)
            name += "abcdefghijklmnopqrstuvwxyz0123456789"[in.byte() % 36];
        return name;
    }
    case 2: return "/dev/null";
    case 3: return f.file;
    case 4: return f.dir;
    case 5: return f.free.path;
    default: return f.held.path;
    }
}

std::uint32_t safeHandle(const Fixture &f, std::uint8_t pick)
{
    constexpr std::uint32_t unused[] = {invalidPortHandle, 987654u, 0x7FFFFFFFu, 0x80000000u};
    const int n = pick % 5;
    return n < 4 ? unused[n] : f.handle;
}

mxArray *makeArgument(Fixture &f, ByteReader &in, const Command &command, int position)
{
    const mxClassID c = classes[in.byte() % (sizeof classes / sizeof classes[0])];
    const std::uint8_t shape = in.byte();
    const bool complex = (shape & 1) != 0;
    const bool sparse = (shape & 2) != 0;
    const std::size_t rows = rowChoices[(shape >> 2) & 7];
    std::size_t cols = in.byte() % 24;

    if (c == mxCHAR_CLASS && command.is("linkAttach") && position == 0 && rows == 1) {
        // A port name is taken whole: a prefix of a path could name another terminal.
        const std::string name = portName(f, in);
        mxArray *a = mexhostCreateArray(mxCHAR_CLASS, 1, name.size(), complex, sparse);
        auto *chars = static_cast<std::uint16_t *>(mxGetData(a));
        for (std::size_t i = 0; i < name.size(); ++i)
            chars[i] = static_cast<unsigned char>(name[i]);
        return a;
    }

    mxArray *a = mexhostCreateArray(c, rows, cols, complex, sparse);
    const std::size_t count = rows * cols;
    auto *data = static_cast<std::uint8_t *>(mxGetData(a));
    if (data == nullptr || count == 0)
        return a;
    if (c == mxUINT32_CLASS) {
        auto *values = reinterpret_cast<std::uint32_t *>(data);
        for (std::size_t i = 0; i < count; ++i)
            values[i] = safeHandle(f, in.byte());
    } else {
        in.bytes(data, count * mexhostElementSize(c));
    }
    return a;
}

bool knownMessage(const char *text)
{
    for (const Message &m : message::all)
        if (std::strcmp(m.text, text) == 0)
            return true;
    return false;
}

bool hasShape(const mxArray *a, mxClassID c, std::size_t rows, std::size_t cols)
{
    return a != nullptr && mxGetClassID(a) == c && mxGetM(a) == rows && mxGetN(a) == cols && !mxIsComplex(a)
           && !mxIsSparse(a) && mxGetData(a) != nullptr;
}

// An n-by-1 cell array of char rows or '' (n = `rows`, or any when it is -1).
bool isTextColumn(const mxArray *a, long rows)
{
    if (a == nullptr || mxGetClassID(a) != mxCELL_CLASS || mxGetN(a) != 1
        || (rows >= 0 && mxGetM(a) != static_cast<std::size_t>(rows)))
        return false;
    for (std::size_t i = 0; i < mxGetM(a); ++i) {
        const mxArray *text = mexhostItem(a, i);
        if (text == nullptr || mxGetClassID(text) != mxCHAR_CLASS || mxGetM(text) != (mxGetN(text) > 0 ? 1u : 0u))
            return false;
    }
    return true;
}

// Writes what the controller sends. The terminal may still hold bytes that
// earlier calls left unread (a refused call reads nothing, and a flush can
// miss bytes the kernel had not yet passed on): those are dropped first.
bool sendLine(const PtyLine &line, const std::uint8_t *bytes, std::size_t count)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (write(line.master, bytes, count) == static_cast<ssize_t>(count))
            return true;
        tcflush(line.slave, TCIFLUSH);
    }
    return false;
}

void drainMaster(const PtyLine &line)
{
    std::uint8_t sink[512];
    while (read(line.master, sink, sizeof sink) > 0) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fixture &f = fixture();
    ByteReader in(data, size);
    const Command &command = commands[in.byte() % commandCount];
    const int nlhs = in.byte() % 4;
    const int nrhs = in.byte() % 7;

    // What the controller has sent by the time of the call: at least one
    // byte for the reading commands, so a read ends 1 ms after it.
    std::uint8_t line[121];
    std::size_t lineBytes = in.byte() % 121;
    if ((command.is("linkState") || command.is("linkPeek")) && lineBytes == 0)
        lineBytes = 1;
    in.bytes(line, lineBytes);
    if (lineBytes > 0 && !sendLine(f.held, line, lineBytes))
        std::abort();

    mxArray *args[6] = {};
    for (int i = 0; i < nrhs; ++i)
        args[i] = makeArgument(f, in, command, i);

    mxArray *plhs[4] = {};
    timespec t0{}, t1{};
    clock_gettime(CLOCK_MONOTONIC, &t0);
    const int returned = mexhostCall(command.function, nlhs, plhs, nrhs, const_cast<const mxArray **>(args));
    clock_gettime(CLOCK_MONOTONIC, &t1);

    if (std::getenv("FUZZ_COMMANDS_VERBOSE") != nullptr)
        std::fprintf(stderr, "%s nlhs %d nrhs %d line %zu: %s (%.1f ms)\n", command.name, nlhs, nrhs, lineBytes,
                     returned ? "returned" : mexhostLastError(),
                     (t1.tv_sec - t0.tv_sec) * 1e3 + (t1.tv_nsec - t0.tv_nsec) / 1e6);

    if (returned) {
        if (command.is("linkAttach")) {
            FUZZ_CHECK(hasShape(plhs[0], mxUINT32_CLASS, 1, 1));
            // Only the free pseudo-terminal can be attached; give it back.
            const std::uint32_t h = *static_cast<std::uint32_t *>(mxGetData(plhs[0]));
            FUZZ_CHECK(detachHandle(h) == 1);
        } else if (command.is("linkState")) {
            FUZZ_CHECK(hasShape(plhs[0], mxDOUBLE_CLASS, 7, 1));
            if (nlhs >= 2) {
                FUZZ_CHECK(hasShape(plhs[1], mxINT8_CLASS, 1, 1));
                const std::int8_t flag = *static_cast<std::int8_t *>(mxGetData(plhs[1]));
                FUZZ_CHECK(flag == 0 || flag == 1);
            }
        } else if (command.is("linkPeek")) {
            FUZZ_CHECK(hasShape(plhs[0], mxUINT8_CLASS, 7, 1));
        } else if (command.is("linkPorts") && nlhs > 0) {
            // Names, and descriptions beside them.
            FUZZ_CHECK(isTextColumn(plhs[0], -1));
            if (nlhs >= 2)
                FUZZ_CHECK(isTextColumn(plhs[1], static_cast<long>(mxGetM(plhs[0]))));
        } else {
            FUZZ_CHECK(plhs[0] == nullptr);
        }
    } else {
        if (!knownMessage(mexhostLastError())) {
            std::fprintf(stderr, "unknown message: \"%s\"\n", mexhostLastError());
            std::abort();
        }
        for (mxArray *out : plhs)
            FUZZ_CHECK(out == nullptr);
    }

    for (mxArray *out : plhs)
        if (out != nullptr)
            mxDestroyArray(out);
    for (mxArray *a : args)
        if (a != nullptr)
            mxDestroyArray(a);
    mexhostClearOutput();

    // Clear the line both ways; reattach if a linkDetach closed the held port.
    drainMaster(f.held);
    drainMaster(f.free);
    if (fcntl(static_cast<int>(f.handle), F_GETFD) == -1) {
        f.handle = invalidPortHandle;
        attachHeld(&f);
    } else {
        tcflush(static_cast<int>(f.handle), TCIFLUSH);
    }
    const int descriptors = countDescriptors();
    if (descriptors != f.descriptors) {
        std::fprintf(stderr, "descriptors: %d at the start, %d now\n", f.descriptors, descriptors);
        listDescriptors();
        std::abort();
    }
    return 0;
}
