// bytes = linkPeek(h)
// Reads once (up to 50 bytes), prints how many arrived, and returns the last
// seven of them as a 7x1 uint8 (zeros when fewer than seven arrived).
#include "frame/argument_checks.hpp"
#include "frame/raise.hpp"
#include "port/serial.hpp"
#include "protocol/status_frames.hpp"

using namespace mexlink;

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    checkInputCount(nrhs, 1, message::inputCountOne);
    checkOutputCount(nlhs, 1);
    const std::uint32_t *handle = portHandleOf(prhs[0]);
    const mwSize dims[1] = {peekByteCount};
    plhs[0] = mxCreateNumericArray(1, dims, mxUINT8_CLASS, mxREAL);
    auto *lastBytes = static_cast<std::uint8_t *>(mxGetData(plhs[0]));

    std::uint8_t chunk[chunkSize] = {};
    std::uint32_t count = 0;
    readSerialOnce(handle, chunk, &count);
    copyLastBytes(chunk, count, lastBytes);
}
