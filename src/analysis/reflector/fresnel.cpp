#include "analysis/reflector/fresnel.hpp"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "utils/constants.hpp"
#include "utils/saturate.hpp"

namespace skyrift {

namespace {

constexpr double kElevationFloor = 0.5;
constexpr double kCellDegrees = 10.0;

}  // namespace

FresnelZone fresnel_zone(double elevation_deg, double h, double lambda) {
    // fmax: a NaN elevation is taken as the floor, like any other value below it.
    const double theta = std::fmax(elevation_deg, kElevationFloor) * kRadPerDeg;
    const double s = std::sin(theta);
    const double q = lambda / (s + s);
    FresnelZone z;
    z.b = std::sqrt(q * q + h * lambda / s);
    z.a = z.b / s;
    z.dist = h / std::tan(theta);
    return z;
}

std::vector<Footprint> fresnel_map(std::span<const Track> tracks, double antenna_height,
                                   double min_elevation, double wavelength) {
    std::vector<Footprint> out;
    for (const Track& track : tracks) {
        std::set<std::pair<int64_t, int64_t>> visited;
        const std::size_t count = std::min(track.azimuths.size(), track.elevations.size());
        for (std::size_t i = 0; i < count; ++i) {
            const double az = track.azimuths[i], el = track.elevations[i];
            if (el < min_elevation) continue;
            const std::pair cell{saturating_int64(std::floor(az / kCellDegrees)), saturating_int64(std::floor(el / kCellDegrees))};
            if (!visited.insert(cell).second) continue;
            out.push_back({track.sat, az, el, fresnel_zone(el, antenna_height, wavelength)});
        }
    }
    return out;
}

}  // namespace skyrift
