// [values, isShort] = linkState(h)
// Drains what the controller sent and decodes the newest status frame:
// values is 7x1 double, isShort a 1x1 int8 that is 1 when the newest bytes
// read were too few to hold a frame.
#include "frame/argument_checks.hpp"
#include "frame/raise.hpp"
#include "port/serial.hpp"
#include "protocol/status_frames.hpp"

using namespace mexlink;

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    checkInputCount(nrhs, 1, message::inputCountOne);
    checkOutputCount(nlhs, 2);
    const std::uint32_t *handle = portHandleOf(prhs[0]);
    plhs[0] = mxCreateNumericMatrix(statusValueCount, 1, mxDOUBLE_CLASS, mxREAL);
    double *values = mxGetPr(plhs[0]);
    // The second slot exists only when the caller asked for two outputs;
    // otherwise the flag is decoded into a local and dropped.
    std::int8_t unusedFlag = 0;
    std::int8_t *flag = &unusedFlag;
    if (nlhs >= 2) {
        plhs[1] = mxCreateNumericMatrix(1, 1, mxINT8_CLASS, mxREAL);
        flag = static_cast<std::int8_t *>(mxGetData(plhs[1]));
    }

    std::uint8_t newest[latestStreamSize] = {};
    std::uint32_t count = 0;
    readSerialLatest(handle, newest, &count);
    decodeStatusFrame(newest, count, values, flag);
}
