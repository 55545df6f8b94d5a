// Stand-in MEX library: printing, warnings, an error call that never returns,
// and exit functions. As in hosts built on the C API, an error leaves by
// longjmp to the point where the host entered the plug-in; no destructor
// below it runs. Identifiers are held to MATLAB's form: an invalid one is a
// fault of the plug-in, reported as the runner's own error.
#define MEXLINK_HOST_BUILD
#include <cctype>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "mexhost.h"

namespace {

struct MexState {
    std::jmp_buf *errorExit = nullptr;
    std::string lastError;
    std::string lastErrorId;
    std::string output;
    void (*exitFunction)(void) = nullptr;
};

// The host is a single-threaded test stand-in; one state serves the call in progress.
MexState &state()
{
    static MexState current;
    return current;
}

// MATLAB's identifier: two or more components separated by colons, each a
// letter followed by letters, digits, underscores or hyphens.
bool validIdentifier(const char *id)
{
    if (id == nullptr)
        return false;
    int components = 0;
    for (const char *p = id;; ++p) {
        if (!std::isalpha(static_cast<unsigned char>(*p)))
            return false;
        while (std::isalnum(static_cast<unsigned char>(*p)) || *p == '_' || *p == '-')
            ++p;
        ++components;
        if (*p == '\0')
            return components >= 2;
        if (*p != ':')
            return false;
    }
}

// Leaves the call by longjmp: nothing in this frame or the plug-in's may own
// memory, so the texts go straight into the state's strings.
[[noreturn]] void leaveCall(const char *id, const char *text, const char *quoted = "")
{
    MexState &s = state();
    s.lastErrorId = id;
    s.lastError = text;
    if (*quoted != '\0')
        s.lastError.append(quoted).append("'");
    if (s.errorExit == nullptr) {
        std::fprintf(stderr, "error outside a call: %s\n", s.lastError.c_str());
        std::abort();
    }
    std::longjmp(*s.errorExit, 1);
}

void warn(const std::string &id, const std::string &text)
{
    state().output += "Warning: " + text + "\n";
    if (!id.empty())
        state().output += "Id: " + id + "\n";
}

} // namespace

extern "C" {

void mexErrMsgTxt(const char *text) { leaveCall("", text != nullptr ? text : ""); }

void mexErrMsgIdAndTxt(const char *id, const char *format, ...)
{
    if (!validIdentifier(id))
        leaveCall("", "runner: invalid error identifier '", id != nullptr ? id : "(null)");
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format != nullptr ? format : "", args);
    va_end(args);
    leaveCall(id, text);
}

void mexWarnMsgTxt(const char *text) { warn("", text != nullptr ? text : ""); }

void mexWarnMsgIdAndTxt(const char *id, const char *format, ...)
{
    if (!validIdentifier(id)) {
        warn("", std::string("runner: invalid warning identifier '") + (id != nullptr ? id : "(null)") + "'");
        return;
    }
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format != nullptr ? format : "", args);
    va_end(args);
    warn(id, text);
}

int mexAtExit(void (*exitFunction)(void))
{
    state().exitFunction = exitFunction;
    return 0;
}

int mexPrintf(const char *format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    state().output += line;
    return n;
}

int mexhostRun(void (*body)(void *), void *context)
{
    MexState &s = state();
    std::jmp_buf exit;
    std::jmp_buf *outer = s.errorExit;
    s.errorExit = &exit;
    s.lastError.clear();
    s.lastErrorId.clear();
    int returned = 0;
    if (setjmp(exit) == 0) {
        body(context);
        returned = 1;
    }
    s.errorExit = outer;
    return returned;
}

namespace {

struct PendingCall {
    MexFunction function;
    int nlhs;
    mxArray **plhs;
    int nrhs;
    const mxArray **prhs;
};

#if defined(_WIN32) && defined(__i386__)
// 32-bit Windows promises a callee 4-byte stack alignment only, and MATLAB
// calls mexFunction as __cdecl. This call gives exactly that: the stack 4
// bytes off any 8- or 16-byte boundary at the call, and the caller, not the
// callee, takes the arguments off. It returns how far the call moved the
// stack pointer: 16 for a __stdcall mexFunction, which 64 bits cannot show.
extern "C" int mexhostCallAlignedTo4(MexFunction function, int nlhs, mxArray **plhs, int nrhs, const mxArray **prhs);
__asm__(".text\n"
        "_mexhostCallAlignedTo4:\n"
        "  pushl %ebp\n"
        "  movl %esp, %ebp\n"
        "  pushl %ebx\n"
        "  andl $-16, %esp\n"
        "  subl $12, %esp\n"
        "  pushl 24(%ebp)\n"
        "  pushl 20(%ebp)\n"
        "  pushl 16(%ebp)\n"
        "  pushl 12(%ebp)\n"
        "  movl %esp, %ebx\n"
        "  call *8(%ebp)\n"
        "  movl %esp, %eax\n"
        "  subl %ebx, %eax\n"
        "  movl -4(%ebp), %ebx\n"
        "  movl %ebp, %esp\n"
        "  popl %ebp\n"
        "  ret\n");

void runPending(void *context)
{
    auto *call = static_cast<PendingCall *>(context);
    const int moved = mexhostCallAlignedTo4(call->function, call->nlhs, call->plhs, call->nrhs, call->prhs);
    if (moved != 0) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "runner: mexFunction moved the stack pointer by %d bytes on return (MATLAB calls it __cdecl)",
                      moved);
        leaveCall("", text);
    }
}
#else
void runPending(void *context)
{
    auto *call = static_cast<PendingCall *>(context);
    call->function(call->nlhs, call->plhs, call->nrhs, call->prhs);
}
#endif

} // namespace

int mexhostCall(MexFunction function, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    // A caller asking for no output still provides slot 0.
    const int slots = nlhs > 0 ? nlhs : 1;
    for (int i = 0; i < slots; ++i)
        plhs[i] = nullptr;
    PendingCall call{function, nlhs, plhs, nrhs, prhs};
    mexhostBeginCall();
    int returned = mexhostRun(runPending, &call);
    if (returned && *mexhostMatrixFault() != '\0') {
        state().lastError = std::string("runner: ") + mexhostMatrixFault();
        state().lastErrorId.clear();
        returned = 0;
    }
    if (returned) {
        mexhostEndCall(plhs, slots);
    } else {
        mexhostEndCall(nullptr, 0);
        for (int i = 0; i < slots; ++i)
            plhs[i] = nullptr;
    }
    return returned;
}

const char *mexhostLastError(void) { return state().lastError.c_str(); }
const char *mexhostLastErrorId(void) { return state().lastErrorId.c_str(); }

void (*mexhostTakeExitFunction(void))(void)
{
    void (*taken)(void) = state().exitFunction;
    state().exitFunction = nullptr;
    return taken;
}
const char *mexhostOutput(void) { return state().output.c_str(); }
void mexhostClearOutput(void) { state().output.clear(); }

} // extern "C"
