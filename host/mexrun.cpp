// mexrun: calls the Windows plug-ins inside the stand-in host, one call per
// script line, all in one process: a port handle does not outlive the process
// that opened it, so a session of calls has to share one.
//
//   mexrun [-d DIR] [SCRIPT | -]      (no SCRIPT or "-": lines from stdin)
//
// A line is  COMMAND NLHS ARG...  ('#' starts a comment line), or
// "repeat N COMMAND NLHS ARG...": the same call until it fails, N times at
// most, or "interrupt MS COMMAND NLHS ARG...": Ctrl-C is pressed MS ms into
// the call (utIsInterruptPending turns true) and released when it returns.
// Lines "spy dirty", "spy clean", "spy abort" and "spy settings" steer and
// read the port spy (port_spy.hpp); each answers "spy ..." and "ok". COMMAND is a plug-in name looked up as DIR\COMMAND.mexw32 or .mexw64
// (DIR defaults to the current directory), or a path when it holds '.', '/'
// or '\'.
// ARG is one of
//   s:TEXT      1xN char (\xHH stands for any byte, \\ for a backslash)
//   c2:AB,CD    2xN char from two rows of equal length
//   d:X         double scalar (inf, -inf, nan allowed)
//   T:X         scalar of class T: single i8 u8 i16 u16 i32 u32 i64 u64 logical
//   zT:X        complex scalar of class T (z: alone is double); the stand-in
//               host keeps the imaginary part zero
//   v:X,Y,...   1xN double
//   e:T         0x0 array of class T (T also char)
//   sp:         1x1 sparse double
//   cell:  struct:   1x1 cell or struct array
//   $h          output 1 of the last linkAttach call that succeeded
// Each call prints, one item a line:
//   call COMMAND
//   print LINE | warning TEXT      what the plug-in printed or warned, in order
//   error TEXT                     the error it raised, or a fault the runner saw
//   outK class=C size=MxN values=V1,V2,...   (outK unset: slot left empty)
//   ms N                           how long the call took
//   ok | failed
// (a repeated call: "repeat K", K the calls made, before its last report).
#include <cerrno>
#include <cstdarg>
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

namespace {

constexpr int spareSlots = 4;

struct ClassName {
    const char *tag;
    const char *name;
    mxClassID id;
};

constexpr ClassName classNames[] = {
    {"d", "double", mxDOUBLE_CLASS}, {"single", "single", mxSINGLE_CLASS}, {"i8", "int8", mxINT8_CLASS},
    {"u8", "uint8", mxUINT8_CLASS},  {"i16", "int16", mxINT16_CLASS},      {"u16", "uint16", mxUINT16_CLASS},
    {"i32", "int32", mxINT32_CLASS}, {"u32", "uint32", mxUINT32_CLASS},    {"i64", "int64", mxINT64_CLASS},
    {"u64", "uint64", mxUINT64_CLASS}, {"logical", "logical", mxLOGICAL_CLASS}, {"char", "char", mxCHAR_CLASS},
    {"cell", "cell", mxCELL_CLASS},  {"struct", "struct", mxSTRUCT_CLASS},
};

const ClassName *classByTag(const std::string &tag)
{
    for (const ClassName &c : classNames)
        if (tag == c.tag || tag == c.name)
            return &c;
    return nullptr;
}

const char *nameOf(mxClassID id)
{
    for (const ClassName &c : classNames)
        if (c.id == id)
            return c.name;
    return "unknown";
}

struct Session {
    std::string dir = ".";
    std::map<std::string, HMODULE> modules;
    mxArray *handle = nullptr;
};

int decodeText(const std::string &in, std::string *out)
{
    out->clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out->push_back(in[i]);
        } else if (i + 1 < in.size() && in[i + 1] == '\\') {
            out->push_back('\\');
            ++i;
        } else if (i + 3 < in.size() && in[i + 1] == 'x') {
            char *end = nullptr;
            const std::string hex = in.substr(i + 2, 2);
            const long v = std::strtol(hex.c_str(), &end, 16);
            if (*end != '\0')
                return 0;
            out->push_back(static_cast<char>(v));
            i += 3;
        } else {
            return 0;
        }
    }
    return 1;
}

template <typename T> void store(mxArray *a, size_t index, T value)
{
    std::memcpy(static_cast<unsigned char *>(mxGetData(a)) + index * sizeof(T), &value, sizeof(T));
}

// Stores `text` into element `index` of a numeric array; 0 if it does not parse or fit.
int storeNumber(mxArray *a, size_t index, const std::string &text)
{
    const char *s = text.c_str();
    char *end = nullptr;
    errno = 0;
    const mxClassID id = mxGetClassID(a);
    if (id == mxDOUBLE_CLASS || id == mxSINGLE_CLASS) {
        const double v = std::strtod(s, &end);
        if (end == s || *end != '\0')
            return 0;
        if (id == mxDOUBLE_CLASS)
            store(a, index, v);
        else
            store(a, index, static_cast<float>(v));
        return 1;
    }
    const bool isSigned = id == mxINT8_CLASS || id == mxINT16_CLASS || id == mxINT32_CLASS || id == mxINT64_CLASS;
    const long long sv = isSigned ? std::strtoll(s, &end, 0) : 0;
    const unsigned long long uv = isSigned ? 0 : std::strtoull(s, &end, 0);
    if (end == s || *end != '\0' || errno != 0 || (!isSigned && text[0] == '-'))
        return 0;
    switch (id) {
    case mxINT8_CLASS: store(a, index, static_cast<std::int8_t>(sv)); return sv == static_cast<std::int8_t>(sv);
    case mxINT16_CLASS: store(a, index, static_cast<std::int16_t>(sv)); return sv == static_cast<std::int16_t>(sv);
    case mxINT32_CLASS: store(a, index, static_cast<std::int32_t>(sv)); return sv == static_cast<std::int32_t>(sv);
    case mxINT64_CLASS: store(a, index, static_cast<std::int64_t>(sv)); return 1;
    case mxUINT8_CLASS:
    case mxLOGICAL_CLASS: store(a, index, static_cast<std::uint8_t>(uv)); return uv <= 0xFFu;
    case mxUINT16_CLASS: store(a, index, static_cast<std::uint16_t>(uv)); return uv <= 0xFFFFu;
    case mxUINT32_CLASS: store(a, index, static_cast<std::uint32_t>(uv)); return uv <= 0xFFFFFFFFu;
    case mxUINT64_CLASS: store(a, index, static_cast<std::uint64_t>(uv)); return 1;
    default: return 0;
    }
}

std::vector<std::string> splitOn(const std::string &s, char sep)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, sep))
        parts.push_back(part);
    return parts;
}

// Builds one argument; nullptr with *why set when the text is not an argument.
mxArray *makeArgument(const Session &session, const std::string &token, std::string *why)
{
    *why = "bad argument '" + token + "'";
    if (token == "$h") {
        if (session.handle == nullptr)
            *why = "$h used before a linkAttach call succeeded";
        return session.handle;
    }
    const size_t colon = token.find(':');
    if (colon == std::string::npos)
        return nullptr;
    const std::string tag = token.substr(0, colon);
    const std::string value = token.substr(colon + 1);
    if (tag == "s") {
        std::string text;
        if (!decodeText(value, &text))
            return nullptr;
        mxArray *a = mexhostCreateChar(1, text.size(), nullptr);
        for (size_t i = 0; i < text.size(); ++i)
            store(a, i, static_cast<std::uint16_t>(static_cast<unsigned char>(text[i])));
        return a;
    }
    if (tag == "c2") {
        const std::vector<std::string> rows = splitOn(value, ',');
        if (rows.size() != 2 || rows[0].size() != rows[1].size())
            return nullptr;
        const size_t n = rows[0].size();
        mxArray *a = mexhostCreateChar(2, n, nullptr);
        for (size_t c = 0; c < n; ++c)
            for (size_t r = 0; r < 2; ++r) // column-major
                store(a, 2 * c + r, static_cast<std::uint16_t>(static_cast<unsigned char>(rows[r][c])));
        return a;
    }
    if (tag == "v") {
        const std::vector<std::string> items = splitOn(value, ',');
        mxArray *a = mexhostCreateArray(mxDOUBLE_CLASS, 1, items.size(), false, false);
        for (size_t i = 0; i < items.size(); ++i)
            if (!storeNumber(a, i, items[i]))
                return nullptr;
        return a;
    }
    if (tag == "e") {
        const ClassName *c = classByTag(value);
        return c != nullptr ? mexhostCreateArray(c->id, 0, 0, false, false) : nullptr;
    }
    if (tag == "sp") {
        mxArray *a = mexhostCreateArray(mxDOUBLE_CLASS, 1, 1, false, true);
        store(a, 0, 1.0);
        return a;
    }
    if ((tag == "cell" || tag == "struct") && value.empty())
        return mexhostCreateArray(classByTag(tag)->id, 1, 1, false, false);
    const bool complex = !tag.empty() && tag[0] == 'z';
    const ClassName *c = classByTag(complex ? (tag.size() == 1 ? "d" : tag.substr(1)) : tag);
    if (c == nullptr || c->id == mxCHAR_CLASS || c->id == mxCELL_CLASS || c->id == mxSTRUCT_CLASS
        || (complex && c->id == mxLOGICAL_CLASS))
        return nullptr;
    mxArray *a = mexhostCreateArray(c->id, 1, 1, complex, false);
    return storeNumber(a, 0, value) ? a : nullptr;
}

std::string elementText(const mxArray *a, size_t i)
{
    const auto *p = static_cast<const unsigned char *>(mxGetData(a));
    char text[64];
    auto load = [&](auto sample) {
        decltype(sample) v;
        std::memcpy(&v, p + i * sizeof v, sizeof v);
        return v;
    };
    switch (mxGetClassID(a)) {
    case mxDOUBLE_CLASS: std::snprintf(text, sizeof text, "%.17g", load(0.0)); break;
    case mxSINGLE_CLASS: std::snprintf(text, sizeof text, "%.9g", static_cast<double>(load(0.0f))); break;
    case mxINT8_CLASS: return std::to_string(load(std::int8_t{}));
    case mxUINT8_CLASS: case mxLOGICAL_CLASS: return std::to_string(load(std::uint8_t{}));
    case mxINT16_CLASS: return std::to_string(load(std::int16_t{}));
    case mxUINT16_CLASS: case mxCHAR_CLASS: return std::to_string(load(std::uint16_t{}));
    case mxINT32_CLASS: return std::to_string(load(std::int32_t{}));
    case mxUINT32_CLASS: return std::to_string(load(std::uint32_t{}));
    case mxINT64_CLASS: return std::to_string(load(std::int64_t{}));
    case mxUINT64_CLASS: return std::to_string(load(std::uint64_t{}));
    default: return "?";
    }
    return text;
}

void appendf(std::string *out, const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    *out += text;
}

void describeOutput(std::string *out, int slot, const mxArray *a)
{
    if (a == nullptr) {
        appendf(out, "out%d unset\n", slot);
        return;
    }
    std::string values;
    const size_t n = mxGetData(a) != nullptr ? mxGetNumberOfElements(a) : 0;
    for (size_t i = 0; i < n; ++i)
        values += (i ? "," : "") + elementText(a, i);
    appendf(out, "out%d class=%s size=%zux%zu%s%s values=", slot, nameOf(mxGetClassID(a)), mxGetM(a), mxGetN(a),
            mxIsComplex(a) ? " complex" : "", mxIsSparse(a) ? " sparse" : "");
    *out += values + "\n";
}

// Printed text as "print" lines, warnings (the host writes them as
// "Warning: TEXT" lines) as "warning" lines.
void describeHostOutput(std::string *out)
{
    std::istringstream in(mexhostOutput());
    std::string line;
    while (std::getline(in, line))
        *out += (line.rfind("Warning: ", 0) == 0 ? "warning " + line.substr(9) : "print " + line) + "\n";
    mexhostClearOutput();
}

MexFunction entryOf(Session *session, const std::string &command, std::string *why)
{
    std::string path = command;
    if (command.find_first_of("./\\") == std::string::npos)
        path = session->dir + "\\" + command + (sizeof(void *) == 8 ? ".mexw64" : ".mexw32");
    HMODULE &module = session->modules[path];
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

std::string commandOf(const std::string &line)
{
    std::istringstream in(line);
    std::string command;
    in >> command;
    return command;
}

// Makes one call; what it printed, raised and returned goes to *report.
// Returns 1 when the call returned and kept to its output slots.
int runCall(Session *session, const std::string &line, std::string *report)
{
    std::istringstream in(line);
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
        mxArray *a = makeArgument(*session, token, &why);
        good = a != nullptr;
        args.push_back(a);
    }
    const MexFunction entry = good ? entryOf(session, command, &why) : nullptr;
    if (entry == nullptr) {
        for (mxArray *a : args)
            if (a != nullptr && a != session->handle)
                mxDestroyArray(a);
        *report += "error runner: " + why + "\nfailed\n";
        return 0;
    }

    // Slots past the provided ones hold a marker, so a write beyond nlhs shows.
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
        appendf(report, "error %s\n", mexhostLastError());
    for (int i = provided; i < provided + spareSlots; ++i)
        if (plhs[i] != marker) {
            appendf(report, "error runner: output slot %d written with nlhs=%ld\n", i + 1, nlhs);
            kept = 0;
        }
    if (returned)
        for (int i = 0; i < nlhs; ++i)
            describeOutput(report, i + 1, plhs[i]);
    appendf(report, "ms %llu\n%s\n", static_cast<unsigned long long>(elapsed), kept ? "ok" : "failed");

    for (mxArray *a : args)
        if (a != session->handle)
            mxDestroyArray(a);
    if (returned && command == "linkAttach" && plhs[0] != nullptr) {
        if (session->handle != nullptr)
            mxDestroyArray(session->handle);
        session->handle = plhs[0];
        plhs[0] = nullptr;
    }
    if (returned)
        for (int i = 0; i < provided; ++i)
            if (plhs[i] != nullptr)
                mxDestroyArray(plhs[i]);
    return kept;
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
        line.erase(0, first);
        // "repeat N CALL": the call again and again until it fails, N times
        // at most; only the last one is reported, after "repeat K".
        long times = 1;
        if (line.rfind("repeat ", 0) == 0) {
            char *end = nullptr;
            times = std::strtol(line.c_str() + 7, &end, 10);
            line.erase(0, static_cast<size_t>(end - line.c_str()));
            line.erase(0, line.find_first_not_of(" \t"));
        }
        if (line.rfind("spy ", 0) == 0) {
            const std::string what = line.substr(4);
            if (what == "dirty" || what == "clean")
                spyLeavePortDirty(what == "dirty");
            else if (what == "abort")
                spyAbortNextIo();
            std::printf("spy %s\nok\n", what == "settings" ? spyLastSettings().c_str() : what.c_str());
            std::fflush(stdout);
            continue;
        }
        long interruptMs = -1;
        if (line.rfind("interrupt ", 0) == 0) {
            char *end = nullptr;
            interruptMs = std::strtol(line.c_str() + 10, &end, 10);
            line.erase(0, static_cast<size_t>(end - line.c_str()));
            line.erase(0, line.find_first_not_of(" \t"));
        }
        std::printf("call %s\n", commandOf(line).c_str());
        std::fflush(stdout);
        std::string report;
        long made = 0;
        while (made < times) {
            ++made;
            report.clear();
            if (interruptMs >= 0)
                mexhostInterruptAfter(static_cast<unsigned>(interruptMs));
            const int kept = runCall(&session, line, &report);
            mexhostClearInterrupt();
            if (!kept)
                break;
        }
        if (times != 1)
            std::printf("repeat %ld\n", made);
        std::fputs(report.c_str(), stdout);
        std::fflush(stdout);
    }
    return 0;
}
