// The simulator's end of the line: the master side of a pseudo-terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace linksim {

struct Line {
    int master = -1;
    int slave = -1;                    // held so the master never sees hang-up between clients
    std::vector<std::uint8_t> pending; // accepted but not yet written
    std::size_t pendingPos = 0;
};

// Opens a pty pair with the slave in raw mode and the master non-blocking;
// returns false if the system refused. *slavePath names the client's end.
bool openLine(Line *line, std::string *slavePath);
void closeLine(Line *line);

bool lineOpen(const Line &line);
bool outputPending(const Line &line);

// Writes queued bytes until done or the line is full; false if the line broke.
bool flushPending(Line *line);

enum class BurstStart { started, notStarted, broken };

// Puts a whole burst on the line or nothing: a burst is only started when no
// earlier bytes are waiting, and an unfinished tail is queued so frames are
// never torn.
BurstStart startBurst(Line *line, const std::uint8_t *bytes, std::size_t count);

enum class LineRead { received, nothing, broken };

// Appends whatever the client has written to *into.
LineRead readLine(const Line &line, std::vector<std::uint8_t> *into);

} // namespace linksim
