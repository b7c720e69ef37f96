#include "navigation/glonass_orbit.hpp"

#include <cmath>

#include "utils/constants.hpp"

namespace skyrift {

namespace {

using Vec3 = std::array<double, 3>;

struct Derivative {
    Vec3 velocity, acceleration;
};

Derivative equations_of_motion(const OrbitState& s, const Vec3& luni_solar) {
    using namespace broadcast;
    const auto& [x, y, z] = s.position;
    const auto& [vx, vy, vz] = s.velocity;
    const double r2 = x * x + y * y + z * z;
    const double r = std::sqrt(r2);
    const double mu_r3 = kGlonassMu / (r2 * r);
    const double j2_term = 1.5 * kGlonassJ2 * kGlonassMu * kGlonassEarthRadius * kGlonassEarthRadius / (r2 * r2 * r);
    const double z2_r2 = 5.0 * z * z / r2;
    const double w2 = kGlonassEarthRate * kGlonassEarthRate;
    const double w = kGlonassEarthRate;
    return {s.velocity,
            {-mu_r3 * x - j2_term * x * (1.0 - z2_r2) + w2 * x + 2.0 * w * vy + luni_solar[0],
             -mu_r3 * y - j2_term * y * (1.0 - z2_r2) + w2 * y - 2.0 * w * vx + luni_solar[1],
             -mu_r3 * z - j2_term * z * (3.0 - z2_r2) + luni_solar[2]}};
}

OrbitState advanced(const OrbitState& s, const Derivative& d, double h) {
    OrbitState out;
    for (int i = 0; i < 3; ++i) {
        out.position[i] = s.position[i] + h * d.velocity[i];
        out.velocity[i] = s.velocity[i] + h * d.acceleration[i];
    }
    return out;
}

constexpr double kLongestIntegration = 86400.0;

OrbitState initial_state(const StateVector& e) { return {e.position, e.velocity}; }

// Whole steps from the reference towards dt, and the remaining partial step.
struct StepPlan {
    int64_t steps;
    double rest;
};
// Callers keep |dt| within an ephemeris' validity; a non-finite dt is refused before
// any conversion to an integer count.
StepPlan plan(double dt) {
    if (!(std::fabs(dt) <= kLongestIntegration)) return {0, std::nan("")};
    const double whole = std::trunc(dt / kGlonassStepSeconds);
    return {static_cast<int64_t>(whole), dt - whole * kGlonassStepSeconds};
}

Ecef finish(const OrbitState& node, const Vec3& luni_solar, double rest) {
    if (std::isnan(rest)) return {std::nan(""), std::nan(""), std::nan("")};
    const OrbitState s = rest == 0.0 ? node : glonass_rk4_step(node, luni_solar, rest);
    return {s.position[0], s.position[1], s.position[2]};
}

}  // namespace

OrbitState glonass_rk4_step(const OrbitState& s, const Vec3& luni_solar, double h) {
    const Derivative k1 = equations_of_motion(s, luni_solar);
    const Derivative k2 = equations_of_motion(advanced(s, k1, h / 2), luni_solar);
    const Derivative k3 = equations_of_motion(advanced(s, k2, h / 2), luni_solar);
    const Derivative k4 = equations_of_motion(advanced(s, k3, h), luni_solar);
    OrbitState out;
    for (int i = 0; i < 3; ++i) {
        out.position[i] =
            s.position[i] + h / 6 * (k1.velocity[i] + 2 * k2.velocity[i] + 2 * k3.velocity[i] + k4.velocity[i]);
        out.velocity[i] = s.velocity[i] + h / 6 * (k1.acceleration[i] + 2 * k2.acceleration[i] +
                                                   2 * k3.acceleration[i] + k4.acceleration[i]);
    }
    return out;
}

Ecef glonass_position(const StateVector& ephemeris, double dt) {
    const StepPlan p = plan(dt);
    const double h = p.steps < 0 ? -kGlonassStepSeconds : kGlonassStepSeconds;
    OrbitState s = initial_state(ephemeris);
    for (int64_t k = 0; k < std::abs(p.steps); ++k) s = glonass_rk4_step(s, ephemeris.acceleration, h);
    return finish(s, ephemeris.acceleration, p.rest);
}

GlonassNodes::GlonassNodes(const StateVector& ephemeris)
    : luni_solar_(ephemeris.acceleration), ahead_{initial_state(ephemeris)}, behind_{initial_state(ephemeris)} {}

const OrbitState& GlonassNodes::node(int64_t k) {
    std::vector<OrbitState>& side = k < 0 ? behind_ : ahead_;
    const double h = k < 0 ? -kGlonassStepSeconds : kGlonassStepSeconds;
    const auto needed = static_cast<std::size_t>(std::abs(k));
    while (side.size() <= needed) side.push_back(glonass_rk4_step(side.back(), luni_solar_, h));
    return side[needed];
}

Ecef GlonassNodes::position(double dt) {
    const StepPlan p = plan(dt);
    return finish(node(p.steps), luni_solar_, p.rest);
}

}  // namespace skyrift
