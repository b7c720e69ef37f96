#include "analysis/fresnel.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <utility>

namespace skyrift {

namespace {

constexpr double kDegToRad = 0.017453292519943295;
constexpr double kElevationFloor = 0.5;
constexpr double kCellDegrees = 10.0;

// ⌊x⌋ as a signed 64-bit integer, saturating; NaN gives 0.
int64_t floor_to_int(double x) {
    const double f = std::floor(x);
    if (std::isnan(f)) return 0;
    if (f >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (f <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(f);
}

}  // namespace

FresnelZone fresnel_zone(double elevation_deg, double h, double lambda) {
    const double theta = std::max(elevation_deg, kElevationFloor) * kDegToRad;
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
            const std::pair cell{floor_to_int(az / kCellDegrees), floor_to_int(el / kCellDegrees)};
            if (!visited.insert(cell).second) continue;
            out.push_back({track.sat, az, el, fresnel_zone(el, antenna_height, wavelength)});
        }
    }
    return out;
}

}  // namespace skyrift
