// A plug-in whose exit function raises. MATLAB goes down when it clears such
// a plug-in; the Wine tests check that the runner stops the same way, with a
// fault of its own, rather than carry on.
#include "mex.h"

namespace {
void raiseAtExit() { mexErrMsgIdAndTxt("exitRaises:atExit", "raised by an exit function"); }
}

extern "C" void mexFunction(int, mxArray **, int, const mxArray **) { mexAtExit(raiseAtExit); }
