// The simulator's end of the line, whatever its kind, and the output queued
// in front of it. A line kind (the pseudo-terminal of posix/pty.hpp, the
// TCP connection of tcp_line.hpp) implements LineEnd. Every queued piece of
// output carries the time before which it may not go out, as the link
// (link.hpp) delivers it, and the event loop wakes when the next piece falls
// due.
#pragma once

#include "link.hpp"
#include "protocol.hpp"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace linksim {

struct WindowSize {
    unsigned short rows = 0;
    unsigned short columns = 0;
    unsigned short xPixels = 0;
    unsigned short yPixels = 0;
};

class LineEnd {
public:
    virtual ~LineEnd() = default;

    // What the client has written, into buffer: the count, 0 when nothing
    // is there, -1 once the line broke.
    virtual long read(std::uint8_t *buffer, std::size_t size) = 0;
    // Writes what the line takes without waiting: the count, 0 when it is
    // full, -1 once it broke.
    virtual long write(const std::uint8_t *bytes, std::size_t count) = 0;
    // What the log says once read or write found the line broken.
    virtual const char *whyBroken() const { return "line error"; }

    // The terminal's window size as the line's other end sets it, set first
    // if `set` is given. False where the line refused or is no terminal.
    virtual bool windowSize(const WindowSize *, WindowSize *) { return false; }
    // Exclusive mode, held as a program that opened the terminal before the
    // client would hold it. False where refused or no terminal.
    virtual bool holdExclusive(bool) { return false; }
};

// A frame whose last byte is the `end`th byte queued on the line.
struct FrameEnd {
    std::uint64_t end;
    std::uint32_t sequence;
};

struct Line {
    std::unique_ptr<LineEnd> end; // none once hung up
    Link link;
    std::deque<Piece> queue;        // accepted but not yet written
    std::size_t sent = 0;           // bytes of the front piece already written
    std::uint64_t queued = 0;       // bytes queued since the line opened
    std::uint64_t written = 0;      // of those, written
    std::deque<FrameEnd> frameEnds; // frames marked and not yet written whole
};

bool lineOpen(const Line &line);
// Drops what is queued; the link stays as it was set up.
void closeLine(Line *line);

// Queues bytes to go out as the link delivers them and writes what is due;
// false if the line broke. The line must be open.
bool queueOutput(Line *line, const std::uint8_t *bytes, std::size_t count, Instant now);

// Writes due output until done or the line is full; false if the line broke.
bool writeDue(Line *line, Instant now);

bool outputQueued(const Line &line);
// Due output waits for room on the line.
bool outputDue(const Line &line, Instant now);
// When queued output that is not yet due falls due; never if none.
Instant nextDue(const Line &line, Instant now);

// When the last piece queued goes out; `now` if none is.
Instant queuedUntil(const Line &line, Instant now);

enum class BurstStart { started, notStarted, broken };

// Puts a whole burst on the line or nothing: a burst is only started when no
// earlier output waits for room, and not at all if it is due at once and the
// line takes none of it; once started, what the line does not take yet stays
// queued, so frames are never torn by a full line.
BurstStart startBurst(Line *line, const std::uint8_t *bytes, std::size_t count, Instant now);

// Marks the last burst started as frame `sequence`, and takes, oldest first,
// the frames whose last byte has been written since.
void markFrameEnd(Line *line, std::uint32_t sequence);
bool takeWrittenFrame(Line *line, std::uint32_t *sequence);

} // namespace linksim
