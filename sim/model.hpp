// Deterministic plant behind the controller: three motors and the sensors.
#pragma once

#include <cstdint>

namespace linksim {

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


// Speed lag of every motor: tau = 5 / (g1 + 1) s, clamped to [0.02, 2].
// Default g1 = 50 gives about 0.1 s; g2 and g3 are kept but not used.
double modelTau(const Model &model);

// Moves the motors dt seconds forward. Within the step the power is
// constant, so the first-order lag is integrated exactly: results depend
// only on how the time is split at setpoint changes, not on the frame rate.
void advanceModel(Model *model, double dt);

std::int32_t modelAngle(const Model &model, int motor); // rounded, clamped degrees

struct Sensors {
    std::uint16_t light;    // 0..1023
    std::uint16_t distance; // cm, 0..255
    std::uint16_t battery;  // mV
};

// Sensors at t seconds after the program start.
Sensors modelSensors(const Model &model, double t);

} // namespace linksim
