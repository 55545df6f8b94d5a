// Pseudo-terminal pairs and host calls for the port-routine tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The master side stays with the test (it plays the controller); the slave
// path is what the routines under test open.
struct PtyPair {
    int master = -1;
    std::string slavePath;
};

PtyPair openPtyPair();
void closeMaster(PtyPair *pair);

int openDescriptorCount();
std::int64_t monotonicMillis();
std::vector<std::uint8_t> readMaster(int master, std::size_t wanted, int timeoutMs);
void writeMaster(int master, const std::vector<std::uint8_t> &bytes);

// Runs `body` inside the stand-in host, where mexErrMsgTxt leaves by longjmp.
struct HostOutcome {
    bool returned = false;
    std::string error;
    std::string printed;
};

template <typename Body> HostOutcome inHost(Body &&body);

#include "mexhost.h"

template <typename Body> HostOutcome inHost(Body &&body)
{
    mexhostClearOutput();
    auto thunk = [](void *context) { (*static_cast<std::remove_reference_t<Body> *>(context))(); };
    HostOutcome outcome;
    outcome.returned = mexhostRun(thunk, &body) == 1;
    if (!outcome.returned)
        outcome.error = mexhostLastError();
    outcome.printed = mexhostOutput();
    return outcome;
}
