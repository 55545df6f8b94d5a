// linkDetach(h)
// Closes the port that linkAttach opened.
#include "frame/argument_checks.hpp"
#include "frame/raise.hpp"
#include "port/serial.hpp"

using namespace mexlink;

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)plhs;
    // Inputs before outputs, a missing one included.
    if (nrhs > 1)
        raiseError(message::inputCountTooMany);
    if (nrhs < 1)
        raiseError(message::inputCountOne);
    checkOutputCount(nlhs, 0);
    closeSerial(portHandleOf(prhs[0]));
    mexPrintf(diagnostic::closed);
}
