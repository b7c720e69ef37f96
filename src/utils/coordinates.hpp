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

// The receiver's local east-north-up frame, for many look angles from one place: the
// angles equal calculate_azel's to the bit, without its geodetic latitude each time.
struct LocalFrame {
    Ecef origin;
    double sin_phi, cos_phi, sin_lambda, cos_lambda;
};
LocalFrame local_frame(const Ecef& receiver);
LookAngles calculate_azel(const LocalFrame& frame, const Ecef& satellite);

}  // namespace skyrift
