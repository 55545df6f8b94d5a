// linkHalt(h)
// Stops the program running on the controller.
#include "frame/argument_checks.hpp"
#include "frame/raise.hpp"
#include "port/serial.hpp"
#include "protocol/telegrams.hpp"

using namespace mexlink;

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)plhs;
    checkInputCount(nrhs, 1, message::inputCountOne);
    checkOutputCount(nlhs, 0);
    const std::uint32_t *handle = portHandleOf(prhs[0]);
    if (*handle == invalidPortHandle)
        raiseError(message::noPort);
    const auto telegram = buildStopProgram();
    writeSerial(handle, telegram.bytes, telegram.size);
}
