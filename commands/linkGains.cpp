// linkGains(h, g1, g2, g3)
// Posts three motor gains, each an integer 0..255, to the running program's mailbox.
#include "frame/argument_checks.hpp"
#include "frame/raise.hpp"
#include "port/serial.hpp"
#include "protocol/telegrams.hpp"

using namespace mexlink;

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)plhs;
    checkInputCount(nrhs, 4, message::inputCountFour);
    checkOutputCount(nlhs, 1);
    const std::uint32_t *handle = portHandleOf(prhs[0]);
    std::int32_t gains[3];
    for (int i = 0; i < 3; ++i)
        gains[i] = toInt(scalarOf(prhs[i + 1], i + 1));
    for (const std::int32_t gain : gains)
        if (gain < 0 || gain > 255)
            raiseError(message::invalidGains);
    const auto telegram = buildMailboxMessage(gains[0], gains[1], gains[2]);
    writeSerial(handle, telegram.bytes, telegram.size);
}
