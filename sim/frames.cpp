#include "frames.hpp"

#include "monotonic_clock.hpp"
#include "protocol.hpp"
#include "simulator.hpp"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <string>

using namespace mexlink;

namespace linksim {

namespace {

// Frames per wake-up in stream mode, so input and signals are still served.
constexpr int streamBurst = 64;
// --hangup-after drops the line this long after the last frame, so that
// frame can still reach a client that reads at the frame rate.
constexpr std::int64_t hangupGraceMin = millisToNanos(10);
constexpr std::int64_t hangupGraceMax = millisToNanos(200);

// " t=SECONDS.MICROS" on the wall clock, which a client process can read too.
std::string wallStamp()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    char text[48];
    std::snprintf(text, sizeof text, " t=%lld.%06ld", static_cast<long long>(now.tv_sec), now.tv_nsec / 1000);
    return text;
}

FrameData makeFrame(Program *program, std::int64_t nowNs, std::uint32_t sequence)
{
    advanceModelTo(program, nowNs);
    const Sensors sensors =
        modelSensors(program->model, static_cast<double>(nowNs - program->startNs) / nanosPerSecond);
    FrameData frame{};
    frame.values[0] = static_cast<std::uint16_t>(sequence);
    frame.values[1] = sensors.light;
    frame.values[2] = sensors.distance;
    frame.values[3] = sensors.battery;
    for (int i = 0; i < motorCount; ++i)
        frame.angles[i] = modelAngle(program->model, i);
    return frame;
}

// Stand-in for a frame in garbage mode: a function of the sequence number
// only, so every run produces the same bytes.
void garbageBurst(std::uint32_t sequence, std::uint8_t out[frameLength])
{
    std::uint32_t x = sequence * 2654435761u ^ 0x6a09e667u;
    if (x == 0)
        x = 1;
    for (std::size_t i = 0; i < frameLength; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<std::uint8_t>(x >> 24);
    }
}

std::string frameText(std::uint32_t sequence, const FrameData &frame)
{
    std::string text = "frame " + std::to_string(sequence);
    for (std::uint16_t value : frame.values)
        text += " " + std::to_string(value);
    for (std::int32_t angle : frame.angles)
        text += " " + std::to_string(angle);
    return text;
}

// True if the burst was started; a broken line is hung up.
bool sendBurst(Simulator *simulator, const std::uint8_t *bytes, std::size_t count)
{
    switch (startBurst(&simulator->line, bytes, count)) {
    case BurstStart::started: return true;
    case BurstStart::notStarted: return false;
    case BurstStart::broken: break;
    }
    hangUp(simulator, "line error");
    return false;
}

bool streaming(const Simulator &simulator)
{
    return simulator.program.running && lineOpen(simulator.line) && simulator.hangupNs == 0;
}

} // namespace

bool emitStatus(Simulator *simulator, std::int64_t nowNs, Emit how)
{
    const Options &options = simulator->options;
    const std::uint32_t sequence = simulator->program.sequence + 1;
    std::uint8_t burst[frameLength];
    std::string text;
    if (options.fault == Fault::garbage && how != Emit::requested) {
        garbageBurst(sequence, burst);
        text = "garbage " + hexBytes(burst, frameLength);
    } else {
        const FrameData frame = makeFrame(&simulator->program, nowNs, sequence);
        encodeFrame(frame, burst);
        text = frameText(sequence, frame);
    }
    const bool sent = sendBurst(simulator, burst, frameLength);
    // Taken right after the write, before any formatting, so it marks when
    // the burst reached the line.
    if (sent && options.logTimes)
        text += wallStamp();
    if (!sent && how == Emit::stream)
        return false;
    simulator->program.sequence = sequence;
    if (!sent) {
        if (lineOpen(simulator->line)) {
            ++simulator->dropped;
            logLine(*simulator, "dropped " + std::to_string(simulator->dropped));
        }
        return false;
    }
    ++simulator->frames;
    logLine(*simulator, text);
    if (options.hangupAfter > 0 && simulator->frames >= static_cast<std::uint64_t>(options.hangupAfter)
        && simulator->hangupNs == 0) {
        const std::int64_t grace = std::clamp(millisToNanos(options.periodMs), hangupGraceMin, hangupGraceMax);
        simulator->hangupNs = nowNs + grace;
    }
    return true;
}

bool periodicActive(const Simulator &simulator)
{
    const Fault fault = simulator.options.fault;
    return streaming(simulator) && fault != Fault::silence && fault != Fault::stream;
}

bool streamActive(const Simulator &simulator)
{
    return streaming(simulator) && simulator.options.fault == Fault::stream;
}

void fillStream(Simulator *simulator)
{
    for (int i = 0; i < streamBurst && streamActive(*simulator) && !outputPending(simulator->line); ++i)
        if (!emitStatus(simulator, monotonicNanos(), Emit::stream))
            break;
}

} // namespace linksim
