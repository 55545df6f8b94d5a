// linkSend(h, x1, x2, x3)
// Posts three setpoints to the running program's mailbox: each is scaled by
// 5.8976, limited to -100..100 and sent as 0..200.
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
    int fields[3];
    for (int i = 0; i < 3; ++i)
        fields[i] = limitedSetpoint(scalarOf(prhs[i + 1], i + 1)) + 100;
    const auto telegram = buildMailboxMessage(fields[0], fields[1], fields[2]);
    writeSerial(handle, telegram.bytes, telegram.size);
}
