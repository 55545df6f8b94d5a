// The stored program the client started, and what it does with the mailbox.
#pragma once

#include "model.hpp"

#include <cstdint>
#include <string>

namespace linksim {

struct Simulator;

// "balance" takes its first mailbox message as gains, "idle" ignores the
// mailbox, every other program drives the motors from it.
enum class ProgramKind { drive, balance, idle };

struct Program {
    bool running = false;
    std::string name;
    ProgramKind kind = ProgramKind::drive;
    bool gainsSeen = false;
    Model model;
    std::int64_t startNs = 0;
    std::int64_t modelNs = 0; // how far the model has been advanced
    std::int64_t nextFrameNs = 0;
    std::uint32_t sequence = 0; // of the last status frame
};

// Brings the model up to nowNs.
void advanceModelTo(Program *program, std::int64_t nowNs);

void startProgram(Simulator *simulator, const std::string &name, std::int64_t nowNs);
void stopProgram(Simulator *simulator, std::int64_t nowNs);
void onMailbox(Simulator *simulator, const std::string &text, const int values[3], std::int64_t nowNs);

} // namespace linksim
