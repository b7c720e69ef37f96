#pragma once
// Look angles from one receiver for many satellite positions: the receiver's local
// frame is set up once, where calculate_azel sets it up on every call. The angles equal
// calculate_azel's to the bit (same latitude and longitude, same arithmetic).
#include <cmath>

#include "utils/constants.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

class LookAngleFrame {
public:
    explicit LookAngleFrame(const Ecef& receiver) : receiver_(receiver) {
        const Geodetic g = to_geodetic(receiver);
        const double phi = g.lat * kRadPerDeg, lambda = g.lon * kRadPerDeg;
        sp_ = std::sin(phi), cp_ = std::cos(phi), sl_ = std::sin(lambda), cl_ = std::cos(lambda);
    }

    LookAngles operator()(const Ecef& satellite) const {
        const double dx = satellite.x - receiver_.x, dy = satellite.y - receiver_.y, dz = satellite.z - receiver_.z;
        const double e = -sl_ * dx + cl_ * dy;
        const double n = -sp_ * cl_ * dx - sp_ * sl_ * dy + cp_ * dz;
        const double u = cp_ * cl_ * dx + cp_ * sl_ * dy + sp_ * dz;
        const double h = std::sqrt(e * e + n * n);
        const double r2 = u * u + h * h;
        double azimuth = std::atan2(e, n) * kDegPerRad;
        if (azimuth < 0.0) azimuth += 360.0;
        if (azimuth >= 360.0 || azimuth == 0.0) azimuth = 0.0;
        const double elevation = r2 > 0.0 ? std::asin(u / std::sqrt(r2)) * kDegPerRad : 0.0;
        return {azimuth, elevation};
    }

private:
    Ecef receiver_;
    double sp_ = 0.0, cp_ = 1.0, sl_ = 0.0, cl_ = 1.0;
};

}  // namespace skyrift
