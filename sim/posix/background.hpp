// --background: the launcher forks, prints "NAME PID" once the child
// serves and exits; the child serves in a session of its own, out of reach
// of a Ctrl-C at the caller's terminal.
#pragma once

#include <string>

namespace linksim {

struct Handshake {
    int ready = -1;   // child to launcher: one byte once the child serves
    int goAhead = -1; // launcher to child: closed once the line is printed
};

// Forks. Returns -1 in the child, which goes on serving and reports through
// *handshake. Otherwise returns this process's exit code: the launcher's
// once it printed "NAME PID" (NAME: what the client opens), or why the
// child did not start, or the child's if it could not detach. Without
// keepStdout the child's stdout goes to /dev/null, so a caller reading the
// launcher's to its end is not held.
int detach(const std::string &name, bool keepStdout, Handshake *handshake);

// In the child: tells the launcher it serves, then waits until the launcher
// has printed its line, so that no control reply can come before it.
void reportReady(Handshake *handshake);

} // namespace linksim
