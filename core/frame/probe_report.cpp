#include "frame/probe_report.hpp"

namespace mexlink {

namespace {

const char *const reportFields[] = {"frames",       "frameBytes",       "framePeriodMs", "misshapenFrames",
                                    "longestGapInFrameMs", "shortestQuietMs", "safeT",         "recommendedT",
                                    "advice"};
constexpr int reportFieldCount = sizeof reportFields / sizeof reportFields[0];

// A row of `values`, or [] when `count` is 0.
mxArray *row(const double *values, mwSize count)
{
    mxArray *array = mxCreateNumericMatrix(count > 0 ? 1 : 0, count, mxDOUBLE_CLASS, mxREAL);
    for (mwSize i = 0; i < count; ++i)
        mxGetPr(array)[i] = values[i];
    return array;
}

const char *adviceFor(const LinkTiming &timing)
{
    if (timing.frames < 2)
        return "too few frames to judge: is a program running that sends them, at this baud rate? listen longer";
    if (timing.recommendedMs > 0)
        return "";
    return "send less often, or lower the USB adapter's latency timer (Linux: its latency_timer file under "
           "/sys/bus/usb-serial/devices/, or setserial's low_latency; Windows: Device Manager, the port's "
           "Properties, Port Settings, Advanced, Latency Timer)";
}

} // namespace

mxArray *reportLink(const LinkTiming &timing, double seconds)
{
    const char *advice = adviceFor(timing);
    const bool safe = timing.recommendedMs > 0;
    mexPrintf("linkProbe: %u frames of %u bytes in %.1f s, one every %.1f ms\n", timing.frames, timing.frameBytes,
              seconds, timing.periodMs);
    if (timing.frames >= 2)
        mexPrintf("  longest gap inside a frame %.1f ms, shortest quiet between frames %.1f ms\n",
                  timing.longestGapInFrameMs, timing.shortestQuietMs);
    if (safe)
        mexPrintf("  T from %d to %d ms cannot cut a frame on this link: take T = %d\n", timing.safeLowMs,
                  timing.safeHighMs, timing.recommendedMs);
    else if (timing.frames >= 2)
        mexPrintf("  no T is safe on this link: %u of %u frames came cut, or joined to the next\n", timing.misshapen,
                  timing.frames);
    if (advice[0] != '\0')
        mexPrintf("  %s\n", advice);

    mxArray *report = mxCreateStructMatrix(1, 1, reportFieldCount, const_cast<const char **>(reportFields));
    const double safeT[2] = {static_cast<double>(timing.safeLowMs), static_cast<double>(timing.safeHighMs)};
    const double recommended = timing.recommendedMs;
    mxSetField(report, 0, "frames", mxCreateDoubleScalar(timing.frames));
    mxSetField(report, 0, "frameBytes", mxCreateDoubleScalar(timing.frameBytes));
    mxSetField(report, 0, "framePeriodMs", mxCreateDoubleScalar(timing.periodMs));
    mxSetField(report, 0, "misshapenFrames", mxCreateDoubleScalar(timing.misshapen));
    mxSetField(report, 0, "longestGapInFrameMs", mxCreateDoubleScalar(timing.longestGapInFrameMs));
    mxSetField(report, 0, "shortestQuietMs", mxCreateDoubleScalar(timing.shortestQuietMs));
    mxSetField(report, 0, "safeT", row(safeT, safe ? 2 : 0));
    mxSetField(report, 0, "recommendedT", row(&recommended, safe ? 1 : 0));
    mxSetField(report, 0, "advice", mxCreateString(advice));
    return report;
}

} // namespace mexlink
