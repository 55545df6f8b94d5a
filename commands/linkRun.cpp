// linkRun(h, name)
// Starts a program stored on the controller, by name (at most 15 characters).
#include <cstring>

#include "frame/argument_checks.hpp"
#include "frame/raise.hpp"
#include "port/serial.hpp"
#include "protocol/telegrams.hpp"

using namespace mexlink;

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)plhs;
    checkInputCount(nrhs, 2, message::inputCountTwo);
    checkOutputCount(nlhs, 0);
    if (mxIsChar(prhs[1]) != true)
        raiseError(message::programNameNotText);
    const size_t rows = mxGetM(prhs[1]);
    const size_t columns = mxGetN(prhs[1]);
    if (columns > maxProgramNameLength || rows != 1)
        raiseError(message::badProgramName);
    // The name is checked whole before the handle is looked at. Octave does
    // not reclaim mxArrayToString's copy when the call ends, so the copy is
    // freed before anything can raise.
    char *name = mxArrayToString(prhs[1]);
    if (name == nullptr)
        raiseError(message::nameCopyFailed);
    // A char(0) would end the name early on the controller's side, which then
    // refuses the telegram without a word.
    const bool cutShort = std::strlen(name) < columns;
    auto telegram = buildStartProgram("", 0);
    if (!cutShort)
        telegram = buildStartProgram(name, static_cast<std::uint32_t>(columns));
    mxFree(name);
    if (cutShort)
        raiseError(message::badProgramName);
    const std::uint32_t *handle = portHandleOf(prhs[0]);
    if (*handle == invalidPortHandle)
        raiseError(message::noPort);
    writeSerial(handle, telegram.bytes, telegram.size);
}
