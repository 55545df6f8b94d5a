// info = linkProbe(portName, baudRate, byteSize, parity, seconds)
// Listens to the port for a few seconds and reports how the controller's
// frames arrive on this link, and the read time-outs T that cannot cut one.
#include <cstdint>

#include "frame/argument_checks.hpp"
#include "frame/probe_report.hpp"
#include "frame/raise.hpp"
#include "port/serial.hpp"

using namespace mexlink;

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    checkInputCount(nrhs, 5, message::inputCountFive);
    checkOutputCount(nlhs, 1);
    const char *portName = portNameOf(prhs[0]);
    if (portName == nullptr)
        return;
    const std::int32_t baudRate = toInt(scalarOf(prhs[1], 1));
    const std::int32_t byteSize = toInt(scalarOf(prhs[2], 2));
    const std::int32_t parity = toInt(scalarOf(prhs[3], 3));
    const double seconds = scalarOf(prhs[4], 4);
    if (!(seconds > 0 && seconds <= probeSecondsMax))
        raiseError(message::badProbeTime);

    auto *bursts = static_cast<Burst *>(mxCalloc(probeBurstCapacity, sizeof(Burst)));
    std::uint32_t count = 0;
    probeSerial(portName, baudRate, byteSize, parity, static_cast<std::int64_t>(seconds * nanosPerSecond), bursts,
                bursts != nullptr ? probeBurstCapacity : 0, &count);
    LinkTiming timing;
    judgeLink(bursts, count, &timing);
    plhs[0] = reportLink(timing, seconds);
}
