#include "simulator.hpp"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace linksim {

namespace {

using std::chrono::milliseconds;

// Frames per wake-up in stream mode, so input and signals are still served.
constexpr int streamBurst = 64;
// --hangup-after drops the line this long after the last frame, so that
// frame can still reach a client that reads at the frame rate.
constexpr milliseconds hangupGraceMin{10};
constexpr milliseconds hangupGraceMax{200};

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
bool sendBurst(Simulator *simulator, const std::uint8_t *bytes, std::size_t count, Instant now)
{
    switch (startBurst(&simulator->line, bytes, count, now)) {
    case BurstStart::started: return true;
    case BurstStart::notStarted: return false;
    case BurstStart::broken: break;
    }
    lineBroke(simulator);
    return false;
}

bool streaming(const Simulator &simulator)
{
    return simulator.program.running && lineOpen(simulator.line) && simulator.hangupAt == never;
}

// Frames go out on the period timer.
bool periodicActive(const Simulator &simulator)
{
    const Fault fault = simulator.options.fault;
    return streaming(simulator) && fault != Fault::silence && fault != Fault::stream;
}

// Frames go out whenever the line takes them (fault mode stream).
bool streamActive(const Simulator &simulator)
{
    return streaming(simulator) && simulator.options.fault == Fault::stream;
}

void fillStream(Simulator *simulator)
{
    for (int i = 0; i < streamBurst && streamActive(*simulator) && !outputQueued(simulator->line); ++i)
        if (!emitStatus(simulator, Clock::now(), Emit::stream))
            break;
}

void handleTelegram(Simulator *simulator, const Request &request, Instant now)
{
    ++simulator->telegrams;
    switch (request.kind) {
    case Request::start: startProgram(simulator, request.text, now); break;
    case Request::stop: stopProgram(simulator, now); break;
    case Request::mailbox: onMailbox(simulator, request.text, request.values, now); break;
    }
}

// Handles every complete telegram received; bytes that cannot start one are
// logged. `stale` gives up on an unfinished fragment too.
void takeTelegrams(Simulator *simulator, Instant now, bool stale)
{
    std::vector<std::uint8_t> piece;
    for (;;) {
        switch (takeNext(&simulator->receiver, stale, &piece)) {
        case Taken::nothing: return;
        case Taken::junk: logLine(*simulator, "bad telegram: " + hexBytes(piece.data(), piece.size())); break;
        case Taken::telegram: handleTelegram(simulator, readRequest(piece.data(), piece.size()), now); break;
        }
    }
}

} // namespace

void hangUp(Simulator *simulator, const char *why)
{
    closeLine(&simulator->line);
    clearReceiver(&simulator->receiver);
    simulator->program.running = false;
    simulator->hangupAt = never;
    logLine(*simulator, why);
    if (simulator->options.exitOnHangup)
        simulator->done = true;
}

void lineBroke(Simulator *simulator) { hangUp(simulator, simulator->line.end->whyBroken()); }

bool emitStatus(Simulator *simulator, Instant now, Emit how)
{
    const Options &options = simulator->options;
    const std::uint32_t sequence = simulator->program.sequence + 1;
    std::uint8_t burst[frameLength];
    std::string text;
    if (options.fault == Fault::garbage && how != Emit::requested) {
        garbageBurst(sequence, burst);
        text = "garbage " + hexBytes(burst, frameLength);
    } else {
        const FrameData frame = makeFrame(&simulator->program, now, sequence);
        encodeFrame(frame, burst);
        text = frameText(sequence, frame);
    }
    const bool sent = sendBurst(simulator, burst, frameLength, now);
    // Taken right after the write, before any formatting, so it marks when
    // the burst reached the line (or the link).
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
    ++simulator->lineFrames;
    if (linkModelled(options.link))
        markFrameEnd(&simulator->line, sequence);
    logLine(*simulator, text);
    logWrittenFrames(simulator);
    // The grace counts from when the link delivers the frame.
    if (options.hangupAfter > 0 && simulator->lineFrames >= static_cast<std::uint64_t>(options.hangupAfter)
        && simulator->hangupAt == never)
        simulator->hangupAt = queuedUntil(simulator->line, now)
                              + std::clamp(milliseconds(options.periodMs), hangupGraceMin, hangupGraceMax);
    return true;
}

void logWrittenFrames(Simulator *simulator)
{
    std::uint32_t sequence = 0;
    while (takeWrittenFrame(&simulator->line, &sequence))
        logLine(*simulator, "sent " + std::to_string(sequence) + (simulator->options.logTimes ? wallStamp() : ""));
}

void startServing(Simulator *simulator, Instant now)
{
    simulator->line.link = startLink(simulator->options.link, now);
    if (linkModelled(simulator->options.link))
        logLine(*simulator, describeLink(simulator->line.link));
    simulator->controlOpen = simulator->options.control;
    simulator->program.startAt = simulator->program.modelAt = now;
    if (simulator->options.autostart && lineOpen(simulator->line))
        startProgram(simulator, simulator->options.autostartName, now);
}

void openLine(Simulator *simulator, std::unique_ptr<LineEnd> end, Instant now)
{
    simulator->line.end = std::move(end);
    simulator->lineFrames = 0;
    if (simulator->options.autostart)
        startProgram(simulator, simulator->options.autostartName, now);
}

void endServing(Simulator *simulator)
{
    closeLine(&simulator->line);
    if (simulator->log)
        std::fclose(simulator->log);
    simulator->log = nullptr;
}

void onLineReadable(Simulator *simulator)
{
    std::uint8_t buffer[512];
    const long n = simulator->line.end->read(buffer, sizeof buffer);
    const Instant now = Clock::now();
    if (n < 0) {
        lineBroke(simulator);
    } else if (n > 0) {
        receive(&simulator->receiver, buffer, static_cast<std::size_t>(n), now);
        takeTelegrams(simulator, now, false);
    }
}

void onLineWritable(Simulator *simulator)
{
    if (!writeDue(&simulator->line, Clock::now())) {
        lineBroke(simulator);
        return;
    }
    logWrittenFrames(simulator);
    fillStream(simulator);
}

void onTimers(Simulator *simulator, Instant now)
{
    if (now >= simulator->hangupAt)
        hangUp(simulator, "hangup");
    if (now >= staleAt(simulator->receiver))
        takeTelegrams(simulator, now, true);
    Program &program = simulator->program;
    if (periodicActive(*simulator) && now >= program.nextFrameAt) {
        emitStatus(simulator, now, Emit::periodic);
        const milliseconds period(simulator->options.periodMs);
        program.nextFrameAt += period;
        if (program.nextFrameAt <= now)
            program.nextFrameAt = now + period; // fell behind: skip
    }
}

Instant nextWake(const Simulator &simulator, Instant now)
{
    Instant next = std::min({nextDue(simulator.line, now), staleAt(simulator.receiver), simulator.hangupAt});
    if (periodicActive(simulator))
        next = std::min(next, simulator.program.nextFrameAt);
    return next;
}

bool wantsRoom(const Simulator &simulator, Instant now)
{
    return outputDue(simulator.line, now) || (streamActive(simulator) && !outputQueued(simulator.line));
}

int waitMillis(Instant now, Instant wake)
{
    if (wake == never)
        return -1;
    if (wake <= now)
        return 0;
    const auto ms = std::chrono::ceil<milliseconds>(wake - now).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

} // namespace linksim
