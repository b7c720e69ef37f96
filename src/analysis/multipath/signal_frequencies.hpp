#pragma once
// Per-satellite carrier frequencies as the multipath analysis sees them: each system's
// order of preferred second-frequency bands and when two bands can be combined.
#include <cstdint>
#include <optional>
#include <span>

#include "rinex/types.hpp"

namespace skyrift {

// Bands tried, in order, for the second frequency of a dual-frequency combination.
std::span<const uint8_t> band_preferences(GnssSystem system);

// Frequency of a band for one satellite (channel already resolved).
inline std::optional<double> band_frequency(Satellite satellite, std::optional<int8_t> channel,
                                            uint8_t band) {
    return carrier_frequency(system_letter(satellite.system), band, channel);
}

// Two bands make a usable combination only when f1^2/f2^2 differs from 1 by at least 0.1.
inline bool bands_separable(double f1, double f2) {
    const double ratio = (f1 * f1) / (f2 * f2) - 1.0;
    return ratio >= 0.1 || ratio <= -0.1;
}

}  // namespace skyrift
