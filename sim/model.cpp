#include "model.hpp"

#include "protocol.hpp"

#include <algorithm>
#include <cmath>

namespace linksim {

namespace {

constexpr double kDegPerSecPerPower = 10.0;
constexpr double kTauMin = 0.02;
constexpr double kTauMax = 2.0;
constexpr double kPi = 3.14159265358979323846;
constexpr double kLightPeriod = 8.0;        // s, one slow light/dark cycle
constexpr double kWheelCmPerDeg = 0.049;    // 5.6 cm wheel
constexpr double kWallCm = 150.0;

uint16_t clamp_u16(double v, double lo, double hi)
{
    return static_cast<uint16_t>(std::lround(std::clamp(v, lo, hi)));
}

}  // namespace

void model_reset(Model* m)
{
    *m = Model{};
}

double model_tau(const Model& m)
{
    return std::clamp(5.0 / (m.gain[0] + 1), kTauMin, kTauMax);
}

void model_advance(Model* m, double dt)
{
    if (dt <= 0) return;
    const double tau = model_tau(*m);
    const double decay = std::exp(-dt / tau);
    for (int i = 0; i < kMotors; ++i) {
        Motor& mo = m->motor[i];
        const double target = kDegPerSecPerPower * m->power[i];
        const double lag = mo.speed - target;
        mo.angle += target * dt + lag * tau * (1.0 - decay);
        mo.speed = target + lag * decay;
    }
}

int32_t model_angle(const Model& m, int i)
{
    const double a = std::clamp(m.motor[i].angle, -1e9, 1e9);
    return clamp_angle(std::lround(a));
}

Sensors model_sensors(const Model& m, double t)
{
    Sensors s{};
    s.light = clamp_u16(512.0 + 400.0 * std::sin(2.0 * kPi * t / kLightPeriod), 0, 1023);
    // The robot faces a wall; motors 1 and 2 drive the wheels towards it.
    const double travel = (m.motor[0].angle + m.motor[1].angle) / 2.0 * kWheelCmPerDeg;
    s.distance = clamp_u16(kWallCm - travel, 0, 255);
    int load = 0;
    for (int p : m.power) load += std::abs(p);
    s.battery = clamp_u16(7800.0 - 2.0 * load - t / 10.0, 6000, 8400);
    return s;
}

}  // namespace linksim
