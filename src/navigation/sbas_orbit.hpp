#pragma once
// SBAS GEO positions: the broadcast state vector extrapolated with its constant
// acceleration, as the SBAS message defines it.
#include "navigation/nav_record.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

inline Ecef sbas_position(const StateVector& s, double dt) {
    const auto at = [&](int i) { return s.position[i] + s.velocity[i] * dt + 0.5 * s.acceleration[i] * dt * dt; };
    return {at(0), at(1), at(2)};
}

}  // namespace skyrift
