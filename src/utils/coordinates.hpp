#pragma once
// WGS-84 ECEF and geodetic coordinates, conversions and look angles.
namespace skyrift {

inline constexpr double kWgs84A = 6378137.0;
inline constexpr double kWgs84B = 6356752.314245179;
inline constexpr double kWgs84E2 = 0.0066943799901413165;
inline constexpr double kDegPerRad = 57.29577951308232;
inline constexpr double kRadPerDeg = 0.017453292519943295;

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

}  // namespace skyrift
