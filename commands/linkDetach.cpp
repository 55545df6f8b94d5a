// linkDetach(h)
// Closes the port that linkAttach opened.
#include "command_frame.hpp"
#include "serial.hpp"

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)plhs;
    if (nrhs > 1)
        mexErrMsgTxt("Error: too many input arguments");
    checkOutputCount(nlhs, 0);
    if (nrhs < 1)
        mexErrMsgTxt("Error: one input arguments required");
    closeSerial(portHandleOf(prhs[0]));
    mexPrintf("closeSerial: Successful!\n");
}
