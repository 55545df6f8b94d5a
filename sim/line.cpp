#include "line.hpp"

namespace linksim {

namespace {

void schedule(Line *line, const std::uint8_t *bytes, std::size_t count, Instant now)
{
    scheduleOutput(&line->link, bytes, count, now, &line->queue);
    line->queued += count;
}

} // namespace

bool lineOpen(const Line &line) { return line.end != nullptr; }

void closeLine(Line *line)
{
    line->end.reset();
    line->queue.clear();
    line->sent = 0;
    line->queued = 0;
    line->written = 0;
    line->frameEnds.clear();
    clearLinkOutput(&line->link);
}

bool queueOutput(Line *line, const std::uint8_t *bytes, std::size_t count, Instant now)
{
    schedule(line, bytes, count, now);
    return writeDue(line, now);
}

bool writeDue(Line *line, Instant now)
{
    while (outputDue(*line, now)) {
        const Piece &front = line->queue.front();
        const long n = line->end->write(front.bytes.data() + line->sent, front.bytes.size() - line->sent);
        if (n < 0)
            return false;
        if (n == 0)
            break; // full
        line->sent += static_cast<std::size_t>(n);
        line->written += static_cast<std::uint64_t>(n);
        if (line->sent == front.bytes.size()) {
            line->queue.pop_front();
            line->sent = 0;
        }
    }
    return true;
}

bool outputQueued(const Line &line) { return !line.queue.empty(); }

bool outputDue(const Line &line, Instant now) { return !line.queue.empty() && line.queue.front().due <= now; }

Instant nextDue(const Line &line, Instant now)
{
    return outputQueued(line) && !outputDue(line, now) ? line.queue.front().due : never;
}

Instant queuedUntil(const Line &line, Instant now) { return outputQueued(line) ? line.queue.back().due : now; }

BurstStart startBurst(Line *line, const std::uint8_t *bytes, std::size_t count, Instant now)
{
    // Output that is queued but not yet due is on its way over the link;
    // output that is due and still not taken waits for a full line.
    if (!lineOpen(*line))
        return BurstStart::notStarted;
    if (!writeDue(line, now))
        return BurstStart::broken;
    if (outputDue(*line, now))
        return BurstStart::notStarted;
    schedule(line, bytes, count, now);
    const std::size_t pieces = line->queue.size();
    if (!writeDue(line, now))
        return BurstStart::broken;
    if (line->queue.size() == pieces && line->sent == 0 && outputDue(*line, now)) {
        // The line is full. Only an ideal line gets here, whose queue held
        // nothing before: all it holds is this burst.
        line->queue.clear();
        line->queued -= count;
        return BurstStart::notStarted;
    }
    return BurstStart::started;
}

void markFrameEnd(Line *line, std::uint32_t sequence) { line->frameEnds.push_back(FrameEnd{line->queued, sequence}); }

bool takeWrittenFrame(Line *line, std::uint32_t *sequence)
{
    if (line->frameEnds.empty() || line->frameEnds.front().end > line->written)
        return false;
    *sequence = line->frameEnds.front().sequence;
    line->frameEnds.pop_front();
    return true;
}

} // namespace linksim
