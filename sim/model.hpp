// Deterministic plant behind the controller: three motors and the sensors.
#pragma once

#include <cstdint>

namespace linksim {

constexpr int kMotors = 3;

struct Motor {
    double speed = 0;   // deg/s
    double angle = 0;   // deg, unclamped
};

struct Model {
    Motor motor[kMotors];
    int power[kMotors] = {0, 0, 0};   // -100..100
    int gain[3] = {50, 0, 0};         // 0..255, as last received
};

void model_reset(Model* m);

// Speed lag of every motor: tau = 5 / (g1 + 1) s, clamped to [0.02, 2].
// Default g1 = 50 gives about 0.1 s; g2 and g3 are kept but not used.
double model_tau(const Model& m);

// Moves the motors dt seconds forward. Within the step the power is
// constant, so the first-order lag is integrated exactly: results depend
// only on how the time is split at setpoint changes, not on the frame rate.
void model_advance(Model* m, double dt);

int32_t model_angle(const Model& m, int i);  // rounded, clamped degrees

struct Sensors {
    uint16_t light;     // 0..1023
    uint16_t distance;  // cm, 0..255
    uint16_t battery;   // mV
};

// Sensors at t seconds after the program start.
Sensors model_sensors(const Model& m, double t);

}  // namespace linksim
