#include "model.hpp"

#include "protocol.hpp"

#include <algorithm>
#include <cmath>

namespace linksim {

namespace {

constexpr double degPerSecPerPower = 10.0;
constexpr double tauMin = 0.02;
constexpr double tauMax = 2.0;
constexpr double pi = 3.14159265358979323846;
constexpr double lightPeriod = 8.0;     // s, one slow light/dark cycle
constexpr double wheelCmPerDeg = 0.049; // 5.6 cm wheel
constexpr double wallCm = 150.0;

std::uint16_t roundClamped(double v, double low, double high)
{
    return static_cast<std::uint16_t>(std::lround(std::clamp(v, low, high)));
}

} // namespace

double modelTau(const Model &model) { return std::clamp(5.0 / (model.gain[0] + 1), tauMin, tauMax); }

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

std::int32_t modelAngle(const Model &model, int motor)
{
    const double a = std::clamp(model.motor[motor].angle, -1e9, 1e9);
    return clampAngle(std::lround(a));
}

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

} // namespace linksim
