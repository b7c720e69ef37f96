#pragma once
// WGS-84 ECEF and geodetic coordinates, conversions and look angles.
#include "utils/constants.hpp"

namespace skyrift {

struct Ecef {
    double x = 0.0, y = 0.0, z = 0.0;
};

struct Geodetic {
    double lat = 0.0, lon = 0.0, height = 0.0;  // degrees, degrees, metres
};

Ecef to_ecef(const Geodetic& g);
Geodetic to_geodetic(const Ecef& p);
double magnitude(const Ecef& p);
double distance(const Ecef& a, const Ecef& b);

struct LookAngles {
    double azimuth;    // degrees, [0, 360), clockwise from north
    double elevation;  // degrees
};
LookAngles calculate_azel(const Ecef& receiver, const Ecef& satellite);

// Look angles from one receiver for many satellite positions: the receiver's local frame
// (its geodetic latitude and longitude) is set up once. calculate_azel is one frame used
// once, so the angles are the same to the bit.
class LookAngleFrame {
public:
    explicit LookAngleFrame(const Ecef& receiver);
    LookAngles operator()(const Ecef& satellite) const;

private:
    Ecef receiver_;
    double sin_lat_ = 0.0, cos_lat_ = 1.0, sin_lon_ = 0.0, cos_lon_ = 1.0;
};

}  // namespace skyrift
