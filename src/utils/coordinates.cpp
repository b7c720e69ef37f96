#include "utils/coordinates.hpp"

#include <cmath>

namespace skyrift {

namespace {
constexpr double kOneMinusE2 = 0.9933056200098587;
constexpr double kE2TimesA = 42697.67270717997;
constexpr double kEp2TimesB = 42841.31151331357;
// Below this distance from the axis the Bowring height p / cos(phi) - N loses all
// precision (cos(phi) -> 0); there the height comes from z instead.
constexpr double kPolarAxisDistance = 1e-3;

struct LatLon {
    double phi, lambda;
};

// One Bowring step, no iteration.
LatLon geodetic_angles(const Ecef& p, double horizontal) {
    const double lambda = std::atan2(p.y, p.x);
    const double theta = std::atan2(p.z * kWgs84A, kWgs84B * horizontal);
    const double s = std::sin(theta), c = std::cos(theta);
    const double phi = std::atan2(p.z + kEp2TimesB * s * s * s, horizontal - kE2TimesA * c * c * c);
    return {phi, lambda};
}
}  // namespace

Ecef to_ecef(const Geodetic& g) {
    const double phi = g.lat * kRadPerDeg, lambda = g.lon * kRadPerDeg;
    const double sin_phi = std::sin(phi);
    const double n = kWgs84A / std::sqrt(1.0 - kWgs84E2 * sin_phi * sin_phi);
    return {(n + g.height) * std::cos(phi) * std::cos(lambda), (n + g.height) * std::cos(phi) * std::sin(lambda),
            (n * kOneMinusE2 + g.height) * sin_phi};
}

Geodetic to_geodetic(const Ecef& p) {
    const double horizontal = std::sqrt(p.x * p.x + p.y * p.y);
    const LatLon a = geodetic_angles(p, horizontal);
    const double sin_phi = std::sin(a.phi);
    const double n = kWgs84A / std::sqrt(1.0 - kWgs84E2 * sin_phi * sin_phi);
    double height = horizontal / std::cos(a.phi) - n;
    if (horizontal < kPolarAxisDistance) {
        // On the axis: height above the pole, |z| - N(1 - e^2).
        height = std::fabs(p.z) - n * kOneMinusE2;
    }
    return {a.phi * kDegPerRad, a.lambda * kDegPerRad, height};
}

double magnitude(const Ecef& p) { return std::sqrt((p.x * p.x + p.y * p.y) + p.z * p.z); }

double distance(const Ecef& a, const Ecef& b) {
    const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt((dx * dx + dy * dy) + dz * dz);
}

LocalFrame local_frame(const Ecef& receiver) {
    const double horizontal = std::sqrt(receiver.x * receiver.x + receiver.y * receiver.y);
    const LatLon a = geodetic_angles(receiver, horizontal);
    // Through degrees and back, so angles match those printed elsewhere to the bit.
    const double phi = a.phi * kDegPerRad * kRadPerDeg;
    const double lambda = a.lambda * kDegPerRad * kRadPerDeg;
    return {receiver, std::sin(phi), std::cos(phi), std::sin(lambda), std::cos(lambda)};
}

LookAngles calculate_azel(const LocalFrame& frame, const Ecef& satellite) {
    const double sp = frame.sin_phi, cp = frame.cos_phi, sl = frame.sin_lambda, cl = frame.cos_lambda;
    const Ecef& receiver = frame.origin;
    const double dx = satellite.x - receiver.x, dy = satellite.y - receiver.y, dz = satellite.z - receiver.z;
    const double e = -sl * dx + cl * dy;
    const double n = -sp * cl * dx - sp * sl * dy + cp * dz;
    const double u = cp * cl * dx + cp * sl * dy + sp * dz;
    const double h = std::sqrt(e * e + n * n);
    const double r2 = u * u + h * h;
    double azimuth = std::atan2(e, n) * kDegPerRad;
    if (azimuth < 0.0) azimuth += 360.0;
    // A tiny negative angle plus 360 can round to 360 itself; azimuths lie in [0, 360).
    if (azimuth >= 360.0 || azimuth == 0.0) azimuth = 0.0;  // also folds -0 into 0
    const double elevation = r2 > 0.0 ? std::asin(u / std::sqrt(r2)) * kDegPerRad : 0.0;
    return {azimuth, elevation};
}

LookAngles calculate_azel(const Ecef& receiver, const Ecef& satellite) {
    return calculate_azel(local_frame(receiver), satellite);
}

}  // namespace skyrift
