// The controller's stored programs and the plant behind them (three motors
// and the sensors), and the status frames they make.
#pragma once

#include "protocol.hpp"

#include <cstdint>
#include <string>

namespace linksim {

struct Simulator;

constexpr int motorCount = 3;

struct Motor {
    double speed = 0; // deg/s
    double angle = 0; // deg, unclamped
};

struct Model {
    Motor motor[motorCount];
    int power[motorCount] = {0, 0, 0}; // -100..100
    int gain[3] = {50, 0, 0};          // 0..255, as last received
};

// "balance" takes its first mailbox message as gains, "idle" ignores the
// mailbox, every other program drives the motors from it.
enum class ProgramKind { drive, balance, idle };

// The program the client started; its model stays for frames on demand
// after it stopped.
struct Program {
    bool running = false;
    std::string name;
    ProgramKind kind = ProgramKind::drive;
    bool gainsSeen = false;
    Model model;
    Instant startAt{};
    Instant modelAt{}; // how far the model has been advanced
    Instant nextFrameAt{};
    std::uint32_t sequence = 0; // of the last status frame
};

// What the telegrams ask of the programs; each logs what it did.
void startProgram(Simulator *simulator, const std::string &name, Instant now);
void stopProgram(Simulator *simulator, Instant now);
void onMailbox(Simulator *simulator, const std::string &text, const int values[3], Instant now);

// The status frame numbered `sequence`, with the model brought up to now.
FrameData makeFrame(Program *program, Instant now, std::uint32_t sequence);

// Stand-in for a frame in garbage mode: a function of the sequence number
// only, so every run produces the same bytes.
void garbageBurst(std::uint32_t sequence, std::uint8_t out[frameLength]);

} // namespace linksim
