// The line as a pseudo-terminal: the simulator holds the master side, the
// client opens the slave by its path like a serial port.
#pragma once

#include "line.hpp"

#include <memory>
#include <string>

namespace linksim {

class PtyLine : public LineEnd {
public:
    PtyLine(int master, int slave) : master(master), slave(slave) {}
    ~PtyLine() override;
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    // What the event loop waits on.
    int fd() const { return master; }

    long read(std::uint8_t *buffer, std::size_t size) override;
    long write(const std::uint8_t *bytes, std::size_t count) override;
    bool windowSize(const WindowSize *set, WindowSize *current) override;
    bool holdExclusive(bool on) override;

private:
    int master;
    int slave; // held so the master never sees hang-up between clients
};

// Opens a pty pair with the slave in raw mode and the master non-blocking;
// none if the system refused. *slavePath names the client's end.
std::unique_ptr<PtyLine> openPty(std::string *slavePath);

} // namespace linksim
