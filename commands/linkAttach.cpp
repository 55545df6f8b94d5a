// h = linkAttach(portName, baudRate, byteSize, parity, timeoutMs)
// Opens and configures the serial port; returns its handle as a 1x1 uint32.
#include <cstdint>

#include "frame/argument_checks.hpp"
#include "frame/raise.hpp"
#include "port/serial.hpp"

using namespace mexlink;

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    // Ports left attached when the plug-in is cleared or the host exits are
    // closed then, so a lost handle never keeps a port locked.
    mexAtExit(releaseAttachedPorts);
    checkInputCount(nrhs, 5, message::inputCountFive);
    checkOutputCount(nlhs, 1);
    const char *portName = portNameOf(prhs[0]);
    if (portName == nullptr)
        return;

    const std::int32_t baudRate = toInt(scalarOf(prhs[1], 1));
    const std::int32_t byteSize = toInt(scalarOf(prhs[2], 2));
    const std::int32_t parity = toInt(scalarOf(prhs[3], 3));
    const std::int32_t timeoutMs = toInt(scalarOf(prhs[4], 4));

    const mwSize dims[1] = {1};
    plhs[0] = mxCreateNumericArray(1, dims, mxUINT32_CLASS, mxREAL);
    auto *handle = static_cast<std::uint32_t *>(mxGetData(plhs[0]));
    openSerial(handle, portName, baudRate, byteSize, parity, timeoutMs);
    mexPrintf(diagnostic::opened);
}
