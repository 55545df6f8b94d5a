#include "program.hpp"

#include "monotonic_clock.hpp"
#include "protocol.hpp"
#include "simulator.hpp"

#include <algorithm>

using namespace mexlink;

namespace linksim {

namespace {

bool knownProgram(const Options &options, const std::string &name)
{
    const auto &list = options.programs;
    return std::find(list.begin(), list.end(), name) != list.end();
}

ProgramKind programKind(const std::string &name)
{
    if (name == "balance")
        return ProgramKind::balance;
    if (name == "idle")
        return ProgramKind::idle;
    return ProgramKind::drive;
}

std::string spaceSeparated(const int values[3])
{
    return std::to_string(values[0]) + " " + std::to_string(values[1]) + " " + std::to_string(values[2]);
}

} // namespace

void advanceModelTo(Program *program, std::int64_t nowNs)
{
    advanceModel(&program->model, static_cast<double>(nowNs - program->modelNs) / nanosPerSecond);
    program->modelNs = nowNs;
}

void startProgram(Simulator *simulator, const std::string &name, std::int64_t nowNs)
{
    const std::string shown = escapeName(name);
    logLine(*simulator, "start \"" + shown + "\"");
    if (!knownProgram(simulator->options, name)) {
        logLine(*simulator, "program " + shown + " unknown");
        return;
    }
    logLine(*simulator, "program " + shown + " running");
    Program &program = simulator->program;
    program = Program{};
    program.running = true;
    program.name = name;
    program.kind = programKind(name);
    program.startNs = nowNs;
    program.modelNs = nowNs;
    program.nextFrameNs = nowNs + millisToNanos(simulator->options.periodMs);
}

void stopProgram(Simulator *simulator, std::int64_t nowNs)
{
    logLine(*simulator, "stop");
    Program &program = simulator->program;
    if (!program.running)
        return;
    // The motors lose power and coast down; frames on demand still show it.
    advanceModelTo(&program, nowNs);
    for (int &power : program.model.power)
        power = 0;
    program.running = false;
}

void onMailbox(Simulator *simulator, const std::string &text, const int values[3], std::int64_t nowNs)
{
    logLine(*simulator, "mailbox 1: " + text.substr(0, 3) + " " + text.substr(3, 3) + " " + text.substr(6, 3));
    Program &program = simulator->program;
    if (!program.running || program.kind == ProgramKind::idle) {
        logLine(*simulator, "ignored");
        return;
    }
    advanceModelTo(&program, nowNs);
    if (program.kind == ProgramKind::balance && !program.gainsSeen) {
        for (int i = 0; i < 3; ++i)
            program.model.gain[i] = std::min(values[i], 255);
        program.gainsSeen = true;
        logLine(*simulator, "gains " + spaceSeparated(program.model.gain));
        return;
    }
    for (int i = 0; i < motorCount; ++i)
        program.model.power[i] = std::clamp(values[i] - 100, -100, 100);
    logLine(*simulator, "setpoints " + spaceSeparated(program.model.power));
}

} // namespace linksim
