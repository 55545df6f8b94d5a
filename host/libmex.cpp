// Stand-in MEX library: printing, warnings, and an error call that never
// returns. As in hosts built on the C API, mexErrMsgTxt leaves by longjmp to
// the point where the host entered the plug-in; no destructor below it runs.
#define MEXLINK_HOST_BUILD
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "mexhost.h"

namespace {

struct MexState {
    std::jmp_buf *errorExit = nullptr;
    std::string lastError;
    std::string output;
};

// The host is a single-threaded test stand-in; one state serves the call in progress.
MexState &state()
{
    static MexState current;
    return current;
}

} // namespace

extern "C" {

void mexErrMsgTxt(const char *text)
{
    MexState &s = state();
    s.lastError = text != nullptr ? text : "";
    if (s.errorExit == nullptr) {
        std::fprintf(stderr, "mexErrMsgTxt outside a call: %s\n", s.lastError.c_str());
        std::abort();
    }
    std::longjmp(*s.errorExit, 1);
}

void mexWarnMsgTxt(const char *text)
{
    state().output += "Warning: ";
    state().output += text != nullptr ? text : "";
    state().output += "\n";
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

void runPending(void *context)
{
    auto *call = static_cast<PendingCall *>(context);
    call->function(call->nlhs, call->plhs, call->nrhs, call->prhs);
}

} // namespace

int mexhostCall(MexFunction function, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    // A caller asking for no output still provides slot 0.
    const int slots = nlhs > 0 ? nlhs : 1;
    for (int i = 0; i < slots; ++i)
        plhs[i] = nullptr;
    PendingCall call{function, nlhs, plhs, nrhs, prhs};
    mexhostBeginCall();
    const int returned = mexhostRun(runPending, &call);
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
const char *mexhostOutput(void) { return state().output.c_str(); }
void mexhostClearOutput(void) { state().output.clear(); }

} // extern "C"
