// linkRun(h, name)
// Starts a program stored on the controller, by name (at most 15 characters).
#include "argument_checks.hpp"
#include "messages.hpp"
#include "serial.hpp"
#include "telegrams.hpp"

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)plhs;
    checkInputCount(nrhs, 2, message::twoInputsRequired);
    checkOutputCount(nlhs, 0);
    if (mxIsChar(prhs[1]) != true)
        mexErrMsgTxt(message::programNameNotText);
    const size_t rows = mxGetM(prhs[1]);
    const size_t columns = mxGetN(prhs[1]);
    if (columns > maxProgramNameLength || rows != 1)
        mexErrMsgTxt(message::programNameBadShape);
    const std::uint32_t *handle = portHandleOf(prhs[0]);
    if (*handle == invalidPortHandle)
        mexErrMsgTxt(message::noSuchPort);
    // Octave does not reclaim mxArrayToString's copy when the call ends: it is
    // taken only once nothing can raise before it is freed.
    char *name = mxArrayToString(prhs[1]);
    if (name == nullptr)
        mexErrMsgTxt(message::nameCopyFailed);
    const auto telegram = buildStartProgram(name, static_cast<std::uint32_t>(columns));
    mxFree(name);
    writeSerial(handle, telegram.bytes, telegram.size);
}
