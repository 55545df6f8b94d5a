// linkHalt(h)
// Stops the program running on the controller.
#include "command_frame.hpp"
#include "serial.hpp"
#include "telegrams.hpp"

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)plhs;
    checkInputCount(nrhs, 1, "Error: one input arguments required");
    checkOutputCount(nlhs, 0);
    const std::uint32_t *handle = portHandleOf(prhs[0]);
    if (*handle == invalidPortHandle)
        mexErrMsgTxt("Error: serial port does not exist");
    constexpr auto telegram = buildStopProgram();
    writeSerial(handle, telegram.data(), static_cast<std::uint32_t>(telegram.size()));
}
