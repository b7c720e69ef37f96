#pragma once
// GLONASS positions by integrating the broadcast state vector: the PZ-90 equations
// of motion in the rotating Earth frame (central term, J2, centrifugal and Coriolis
// terms) plus the broadcast luni-solar acceleration, held constant, with classical
// fourth-order Runge-Kutta steps.
#include <array>
#include <cstdint>
#include <vector>

#include "navigation/nav_record.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

// Nodes every 30 s from the reference time towards the target, then one shorter step.
inline constexpr double kGlonassStepSeconds = 30.0;

struct OrbitState {
    std::array<double, 3> position{}, velocity{};  // m, m/s
};

// One Runge-Kutta step of length `h` seconds (negative to go back in time).
OrbitState glonass_rk4_step(const OrbitState& s, const std::array<double, 3>& luni_solar, double h);

// Position `dt` seconds after the reference time, integrated from scratch.
Ecef glonass_position(const StateVector& ephemeris, double dt);

// The same integration keeping its nodes, so that many queries of one ephemeris cost
// one short step each. Positions equal glonass_position() bit for bit.
class GlonassNodes {
public:
    explicit GlonassNodes(const StateVector& ephemeris);
    Ecef position(double dt);

private:
    const OrbitState& node(int64_t k);  // state at k steps from the reference (k may be negative)
    std::array<double, 3> luni_solar_;
    std::vector<OrbitState> ahead_;   // ahead_[k]: k steps forward; ahead_[0] is the reference state
    std::vector<OrbitState> behind_;  // behind_[k]: k steps back; behind_[0] is the reference state
};

}  // namespace skyrift
