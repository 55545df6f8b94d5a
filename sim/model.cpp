#include "model.hpp"

#include "simulator.hpp"

#include <algorithm>
#include <cmath>

namespace linksim {

namespace {

// ----------------------------------------------------------------- plant

constexpr double degPerSecPerPower = 10.0;
constexpr double tauMin = 0.02;
constexpr double tauMax = 2.0;
constexpr double pi = 3.14159265358979323846;
constexpr double lightPeriod = 8.0;     // s, one slow light/dark cycle
constexpr double wheelCmPerDeg = 0.049; // 5.6 cm wheel
constexpr double wallCm = 150.0;

struct Sensors {
    std::uint16_t light;    // 0..1023
    std::uint16_t distance; // cm, 0..255
    std::uint16_t battery;  // mV
};

std::uint16_t roundClamped(double v, double low, double high)
{
    return static_cast<std::uint16_t>(std::lround(std::clamp(v, low, high)));
}

double seconds(Instant from, Instant to) { return std::chrono::duration<double>(to - from).count(); }

// Speed lag of every motor: tau = 5 / (g1 + 1) s, clamped to [0.02, 2].
// Default g1 = 50 gives about 0.1 s; g2 and g3 are kept but not used.
double modelTau(const Model &model) { return std::clamp(5.0 / (model.gain[0] + 1), tauMin, tauMax); }

// Moves the motors dt seconds forward. Within the step the power is
// constant, so the first-order lag is integrated exactly: results depend
// only on how the time is split at setpoint changes, not on the frame rate.
void advanceModel(Model *model, double dt)
{
    if (dt <= 0)
        return;
    const double tau = modelTau(*model);
    const double decay = std::exp(-dt / tau);
    for (int i = 0; i < motorCount; ++i) {
        Motor &motor = model->motor[i];
        const double target = degPerSecPerPower * model->power[i];
        const double lag = motor.speed - target;
        motor.angle += target * dt + lag * tau * (1.0 - decay);
        motor.speed = target + lag * decay;
    }
}

// Rounded, clamped degrees.
std::int32_t modelAngle(const Model &model, int motor)
{
    const double a = std::clamp(model.motor[motor].angle, -1e9, 1e9);
    return clampAngle(std::lround(a));
}

// Sensors at t seconds after the program start.
Sensors modelSensors(const Model &model, double t)
{
    Sensors s{};
    s.light = roundClamped(512.0 + 400.0 * std::sin(2.0 * pi * t / lightPeriod), 0, 1023);
    // The robot faces a wall; motors 1 and 2 drive the wheels towards it.
    const double travel = (model.motor[0].angle + model.motor[1].angle) / 2.0 * wheelCmPerDeg;
    s.distance = roundClamped(wallCm - travel, 0, 255);
    int load = 0;
    for (int p : model.power)
        load += std::abs(p);
    s.battery = roundClamped(7800.0 - 2.0 * load - t / 10.0, 6000, 8400);
    return s;
}

void advanceModelTo(Program *program, Instant now)
{
    advanceModel(&program->model, seconds(program->modelAt, now));
    program->modelAt = now;
}

// -------------------------------------------------------------- programs

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

void startProgram(Simulator *simulator, const std::string &name, Instant now)
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
    program.startAt = now;
    program.modelAt = now;
    program.nextFrameAt = now + std::chrono::milliseconds(simulator->options.periodMs);
}

void stopProgram(Simulator *simulator, Instant now)
{
    logLine(*simulator, "stop");
    Program &program = simulator->program;
    if (!program.running)
        return;
    // The motors lose power and coast down; frames on demand still show it.
    advanceModelTo(&program, now);
    for (int &power : program.model.power)
        power = 0;
    program.running = false;
}

void onMailbox(Simulator *simulator, const std::string &text, const int values[3], Instant now)
{
    logLine(*simulator, "mailbox 1: " + text.substr(0, 3) + " " + text.substr(3, 3) + " " + text.substr(6, 3));
    Program &program = simulator->program;
    if (!program.running || program.kind == ProgramKind::idle) {
        logLine(*simulator, "ignored");
        return;
    }
    advanceModelTo(&program, now);
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

// --------------------------------------------------------- status frames

FrameData makeFrame(Program *program, Instant now, std::uint32_t sequence)
{
    advanceModelTo(program, now);
    const Sensors sensors = modelSensors(program->model, seconds(program->startAt, now));
    FrameData frame{};
    frame.values[0] = static_cast<std::uint16_t>(sequence);
    frame.values[1] = sensors.light;
    frame.values[2] = sensors.distance;
    frame.values[3] = sensors.battery;
    for (int i = 0; i < motorCount; ++i)
        frame.angles[i] = modelAngle(program->model, i);
    return frame;
}

void garbageBurst(std::uint32_t sequence, std::uint8_t out[frameLength])
{
    std::uint32_t x = sequence * 2654435761u ^ 0x6a09e667u;
    if (x == 0)
        x = 1;
    for (std::size_t i = 0; i < frameLength; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<std::uint8_t>(x >> 24);
    }
}

} // namespace linksim
