// floor_write(h, x1, x2, x3): writes the 16 bytes linkSend(h, 0, 0, 0) writes,
// straight to the descriptor, with no checks at all and its other arguments
// unread. Benchmark only: the least a call of linkSend's shape that puts a
// mailbox telegram on the line can cost in this host.
#include <cstdint>

#include <unistd.h>

#include "mex.h"

extern "C" void mexFunction(int, mxArray *[], int, const mxArray *prhs[])
{
    static const std::uint8_t mailbox[16] = {0x0E, 0x00, 0x80, 0x09, 0x01, 0x0A, '1', '0',
                                             '0',  '1',  '0',  '0',  '1',  '0',  '0', 0x00};
    const int fd = static_cast<int>(*static_cast<const std::uint32_t *>(mxGetData(prhs[0])));
    if (write(fd, mailbox, sizeof mailbox) != static_cast<ssize_t>(sizeof mailbox))
        mexErrMsgTxt("floor_write: short write");
}
