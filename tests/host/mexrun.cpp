// mexrun: calls the Windows plug-ins inside the stand-in host, one call per
// script line, all in one process: a port handle does not outlive the process
// that opened it, so a session of calls has to share one.
//
//   mexrun [-d DIR] [SCRIPT | -]      (no SCRIPT or "-": lines from stdin)
//
// A call line is  [NAME =] COMMAND NLHS ARG...  ('#' starts a comment line).
// COMMAND is a plug-in looked up as DIR\COMMAND.mexw32 or .mexw64 (DIR
// defaults to the current directory), or a path when it holds '.', '/' or
// '\'. ARG is a token of runner_values.hpp's language. With "NAME =", output
// 1 of a call that returned is kept as $NAME for later lines.
// A call line may be prefixed by
//   repeat N      the same call until it fails, N times at most
//   interrupt MS  Ctrl-C is pressed MS ms into the call (utIsInterruptPending
//                 turns true) and released when it returns
// Lines "spy dirty", "spy clean", "spy abort", "spy settings", "spy watch
// VALUE", "spy touched", "spy unplug VALUE", "spy held" and "spy moving" steer and read the port spy
// (port_spy.hpp); each answers "spy ..." and "ok".
// "pipe open" makes a pipe whose read end another thread is reading from,
// synchronously, and answers "pipe VALUE" (the read end); "pipe check"
// answers "pipe pending" while that read still waits and its handle is
// open; "pipe close" ends it. Each then answers "ok".
// "open NAME" opens a communications port as the host's own serial-port
// object would (answering "opened VALUE"), "probe VALUE" tells whether that
// handle is still an open port ("probe open" or "probe closed"), and
// "close VALUE" closes it; each then answers "ok".
// "clear COMMAND" and "clear all" unload plug-ins as MATLAB's clear does,
// calling first the function each registered with mexAtExit; so does the end
// of the script. They answer "clear PATH" for each plug-in unloaded, with an
// "exit PATH" line for an exit function called (then what it printed), and
// "ok". An exit function that raises takes MATLAB down: the runner reports
// it as its own fault and exits at once with status 3.
// Each call prints, one item a line:
//   call COMMAND
//   print LINE | warning TEXT      what the plug-in printed or warned, in order
//   id ID                          after a warning or error: its identifier
//   error TEXT                     the error it raised, or a fault the runner saw
//   outK class=C size=MxN values=V1,V2,...   numbers in column order (outK
//                                            unset: slot left empty)
//   outK class=char size=MxN text=TEXT       characters in column order, as
//                                            an s: token writes them (\\ a
//                                            backslash, \xHH a code outside
//                                            printable ASCII, \uHHHH past 0xFF)
//   outK class=cell size=MxN                 then a line per element, labelled
//                                            outK{I}, I in column order
//   outK class=struct size=MxN fields=A,B    then a line per field of each
//                                            element, labelled outK(I).A
//   ms N                           how long the call took
//   ok | failed
// (a repeated call: "repeat K", K the calls made, before its last report).
// Elements of cells and structs are described the same way, nested ones too
// (out1{2}(1).a); "LABEL unset" is an element or field never set. A cell of two
// names:
//   out1 class=cell size=2x1
//   out1{1} class=char size=1x4 text=COM5
//   out1{2} class=char size=1x9 text=\\\\.\\COM12
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "mexhost.h"
#include "port_spy.hpp"
#include "runner_values.hpp"

namespace {

// Output slots beyond those asked for, filled with a marker: a plug-in that
// writes one of them shows.
constexpr int spareSlots = 4;

struct Plugin {
    HMODULE module = nullptr;
    void (*exitFunction)(void) = nullptr;
};

// A pipe whose read end another thread reads synchronously: a handle on
// which MATLAB's own threads may be waiting.
struct PendingPipe {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    HANDLE reader = nullptr;
};

struct Session {
    std::string dir = ".";
    std::map<std::string, Plugin> plugins;
    NamedValues named;
    PendingPipe pipe;
};

// A call line taken apart.
struct CallLine {
    std::string keepAs; // NAME of "NAME =", or empty
    long repeat = 1;
    long interruptMs = -1;
    std::string call; // COMMAND NLHS ARG...
};

std::string firstWord(const std::string &text)
{
    std::istringstream in(text);
    std::string word;
    in >> word;
    return word;
}

// Strips "WORD N " off the front of *rest when it starts so; N into *number.
bool takePrefix(std::string *rest, const char *word, long *number)
{
    const std::string prefix = std::string(word) + " ";
    if (rest->rfind(prefix, 0) != 0)
        return false;
    char *end = nullptr;
    *number = std::strtol(rest->c_str() + prefix.size(), &end, 10);
    rest->erase(0, static_cast<size_t>(end - rest->c_str()));
    rest->erase(0, rest->find_first_not_of(" \t"));
    return true;
}

CallLine parseCallLine(std::string text)
{
    CallLine line;
    while (takePrefix(&text, "repeat", &line.repeat) || takePrefix(&text, "interrupt", &line.interruptMs)) {
    }
    std::istringstream in(text);
    std::string name, equals;
    if (in >> name >> equals && equals == "=") {
        line.keepAs = name;
        std::getline(in, text);
        text.erase(0, text.find_first_not_of(" \t"));
    }
    line.call = text;
    return line;
}

// Printed text as "print" lines, warnings (the host writes them as
// "Warning: TEXT" lines) as "warning" lines.
void describeHostOutput(std::string *out)
{
    std::istringstream in(mexhostOutput());
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Warning: ", 0) == 0)
            *out += "warning " + line.substr(9) + "\n";
        else if (line.rfind("Id: ", 0) == 0)
            *out += "id " + line.substr(4) + "\n";
        else
            *out += "print " + line + "\n";
    }
    mexhostClearOutput();
}

std::string pluginPath(const Session &session, const std::string &command)
{
    if (command.find_first_of("./\\") != std::string::npos)
        return command;
    return session.dir + "\\" + command + (sizeof(void *) == 8 ? ".mexw64" : ".mexw32");
}

MexFunction entryOf(Session *session, const std::string &command, std::string *why)
{
    const std::string path = pluginPath(*session, command);
    HMODULE &module = session->plugins[path].module;
    if (module == nullptr) {
        module = LoadLibraryA(path.c_str());
        if (module != nullptr)
            spyOnPort(module);
    }
    if (module == nullptr) {
        *why = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    auto entry = reinterpret_cast<MexFunction>(reinterpret_cast<void *>(GetProcAddress(module, "mexFunction")));
    if (entry == nullptr)
        *why = path + " exports no mexFunction";
    return entry;
}

void describeError(std::string *report)
{
    *report += std::string("error ") + mexhostLastError() + "\n";
    if (*mexhostLastErrorId() != '\0')
        *report += std::string("id ") + mexhostLastErrorId() + "\n";
}

void callExitFunction(void *context) { reinterpret_cast<void (*)(void)>(context)(); }

// Unloads one plug-in, calling its exit function first, as MATLAB does.
void unload(const std::string &path, Plugin *plugin)
{
    std::printf("clear %s\n", path.c_str());
    if (plugin->exitFunction != nullptr) {
        std::printf("exit %s\n", path.c_str());
        std::string report;
        const int returned = mexhostRun(callExitFunction, reinterpret_cast<void *>(plugin->exitFunction));
        describeHostOutput(&report);
        if (!returned) {
            describeError(&report);
            report += "error runner: the exit function raised an error, which takes MATLAB down\n";
            std::fputs(report.c_str(), stdout);
            std::fputs(report.c_str(), stderr);
            std::fflush(nullptr);
            std::exit(3);
        }
        std::fputs(report.c_str(), stdout);
    }
    if (plugin->module != nullptr)
        FreeLibrary(plugin->module);
    *plugin = Plugin{};
}

void clearPlugins(Session *session, const std::string &what)
{
    for (auto &entry : session->plugins)
        if (entry.second.module != nullptr && (what == "all" || entry.first == pluginPath(*session, what)))
            unload(entry.first, &entry.second);
    std::printf("ok\n");
}

bool isNamed(const Session &session, const mxArray *a)
{
    for (const auto &entry : session.named)
        if (entry.second == a)
            return true;
    return false;
}

// Makes one call; what it printed, raised and returned goes to *report.
// Returns 1 when the call returned and kept to its output slots.
int runCall(Session *session, const CallLine &line, std::string *report)
{
    std::istringstream in(line.call);
    std::string command, nlhsText, token;
    in >> command >> nlhsText;

    std::string why;
    char *end = nullptr;
    const long nlhs = std::strtol(nlhsText.c_str(), &end, 10);
    std::vector<mxArray *> args;
    bool good = !nlhsText.empty() && *end == '\0' && nlhs >= 0 && nlhs <= 16;
    if (!good)
        why = "bad output count '" + nlhsText + "'";
    while (good && in >> token) {
        mxArray *a = makeArgument(session->named, token, &why);
        good = a != nullptr;
        args.push_back(a);
    }
    const MexFunction entry = good ? entryOf(session, command, &why) : nullptr;
    if (entry == nullptr) {
        for (mxArray *a : args)
            if (a != nullptr && !isNamed(*session, a))
                mxDestroyArray(a);
        *report += "error runner: " + why + "\nfailed\n";
        return 0;
    }

    const int provided = nlhs > 0 ? static_cast<int>(nlhs) : 1;
    std::vector<mxArray *> plhs(provided + spareSlots);
    mxArray *const marker = reinterpret_cast<mxArray *>(&plhs);
    for (mxArray *&slot : plhs)
        slot = marker;
    const ULONGLONG start = GetTickCount64();
    const int returned = mexhostCall(entry, static_cast<int>(nlhs), plhs.data(), static_cast<int>(args.size()),
                                     const_cast<const mxArray **>(args.data()));
    const ULONGLONG elapsed = GetTickCount64() - start;

    describeHostOutput(report);
    int kept = returned;
    if (!returned)
        describeError(report);
    if (void (*exitFunction)(void) = mexhostTakeExitFunction())
        session->plugins[pluginPath(*session, command)].exitFunction = exitFunction;
    for (int i = provided; i < provided + spareSlots; ++i)
        if (plhs[i] != marker) {
            *report += "error runner: output slot " + std::to_string(i + 1)
                       + " written with nlhs=" + std::to_string(nlhs) + "\n";
            kept = 0;
        }
    if (returned)
        for (int i = 0; i < nlhs; ++i)
            describeOutput(report, i + 1, plhs[i]);
    *report += "ms " + std::to_string(elapsed) + "\n" + (kept ? "ok" : "failed") + "\n";

    for (mxArray *a : args)
        if (!isNamed(*session, a))
            mxDestroyArray(a);
    if (returned && !line.keepAs.empty() && plhs[0] != nullptr) {
        mxArray *&named = session->named[line.keepAs];
        if (named != nullptr)
            mxDestroyArray(named);
        named = plhs[0];
        plhs[0] = nullptr;
    }
    if (returned)
        for (int i = 0; i < provided; ++i)
            if (plhs[i] != nullptr)
                mxDestroyArray(plhs[i]);
    return kept;
}

HANDLE handleOf(const std::string &value)
{
    const auto number = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 0));
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(static_cast<std::int32_t>(number)));
}

void runSpyLine(const std::string &what)
{
    const std::string verb = firstWord(what);
    const std::string value = firstWord(what.substr(verb.size()));
    std::string answer = what;
    if (verb == "dirty" || verb == "clean")
        spyLeavePortDirty(verb == "dirty");
    else if (verb == "abort")
        spyAbortNextIo();
    else if (verb == "settings")
        answer = spyFirstSettings();
    else if (verb == "watch")
        spyWatch(handleOf(value));
    else if (verb == "touched")
        answer = "touched " + std::to_string(spyTouched());
    else if (verb == "unplug")
        spyUnplug(handleOf(value));
    else if (verb == "held" || verb == "moving")
        spyHoldOutput(verb == "held");
    std::printf("spy %s\nok\n", answer.c_str());
}

DWORD WINAPI readOneByte(void *context)
{
    char byte = 0;
    DWORD got = 0;
    ReadFile(static_cast<HANDLE>(context), &byte, 1, &got, nullptr);
    return 0;
}

void runPipeLine(Session *session, const std::string &verb)
{
    PendingPipe &pipe = session->pipe;
    if (verb == "open" && pipe.reader == nullptr && CreatePipe(&pipe.readEnd, &pipe.writeEnd, nullptr, 0)) {
        pipe.reader = CreateThread(nullptr, 0, readOneByte, pipe.readEnd, 0, nullptr);
        Sleep(100); // the read is under way
        std::printf("pipe %lu\n", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(pipe.readEnd)));
    } else if (verb == "check") {
        DWORD flags = 0;
        const bool pending = pipe.reader != nullptr && WaitForSingleObject(pipe.reader, 0) == WAIT_TIMEOUT
                             && GetHandleInformation(pipe.readEnd, &flags);
        std::printf("pipe %s\n", pending ? "pending" : "not pending");
    } else if (verb == "close" && pipe.reader != nullptr) {
        DWORD written = 0;
        WriteFile(pipe.writeEnd, "x", 1, &written, nullptr);
        WaitForSingleObject(pipe.reader, 5000);
        for (HANDLE h : {pipe.reader, pipe.readEnd, pipe.writeEnd})
            CloseHandle(h);
        pipe = PendingPipe{};
    }
    std::printf("ok\n");
}

// The host's own ports, which the plug-ins must never touch.
void runHostPortLine(const std::string &verb, const std::string &what)
{
    const HANDLE handle = handleOf(what);
    if (verb == "open") {
        const HANDLE port =
            CreateFileA(what.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        std::printf("opened %lu\n", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(port)));
    } else if (verb == "probe") {
        DCB state{};
        state.DCBlength = sizeof state;
        std::printf("probe %s\n", GetCommState(handle, &state) ? "open" : "closed");
    } else {
        CloseHandle(handle);
    }
    std::printf("ok\n");
}

void runScriptLine(Session *session, const std::string &text)
{
    if (text.rfind("spy ", 0) == 0) {
        runSpyLine(text.substr(4));
        return;
    }
    const std::string verb = firstWord(text);
    if (verb == "pipe") {
        runPipeLine(session, firstWord(text.substr(verb.size())));
        return;
    }
    if (verb == "open" || verb == "probe" || verb == "close") {
        runHostPortLine(verb, firstWord(text.substr(verb.size())));
        return;
    }
    if (text.rfind("clear ", 0) == 0) {
        clearPlugins(session, firstWord(text.substr(6)));
        return;
    }
    const CallLine line = parseCallLine(text);
    std::printf("call %s\n", firstWord(line.call).c_str());
    std::fflush(stdout);
    std::string report;
    long made = 0;
    while (made < line.repeat) {
        ++made;
        report.clear();
        if (line.interruptMs >= 0)
            mexhostInterruptAfter(static_cast<unsigned>(line.interruptMs));
        const int kept = runCall(session, line, &report);
        mexhostClearInterrupt();
        if (!kept)
            break;
    }
    if (line.repeat != 1)
        std::printf("repeat %ld\n", made);
    std::fputs(report.c_str(), stdout);
}

} // namespace

int main(int argc, char **argv)
{
    // Plain "\n" line ends: the tests read this output on the POSIX side.
    _setmode(_fileno(stdout), _O_BINARY);
    Session session;
    const char *script = "-";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-d") == 0 && i + 1 < argc)
            session.dir = argv[++i];
        else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::puts("usage: mexrun [-d PLUGIN_DIR] [SCRIPT | -]");
            return 0;
        } else
            script = argv[i];
    }
    FILE *in = std::strcmp(script, "-") == 0 ? stdin : std::fopen(script, "r");
    if (in == nullptr) {
        std::fprintf(stderr, "mexrun: cannot open %s\n", script);
        return 2;
    }
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, in) != nullptr) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        runScriptLine(&session, line.substr(first));
        std::fflush(stdout);
    }
    // The host exits: every plug-in still loaded is cleared.
    clearPlugins(&session, "all");
    return 0;
}
