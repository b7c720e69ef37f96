#pragma once
// The library's physical and mathematical constants, each defined once. The module's
// Python constants and every computation take their values from here.
#include <numbers>

namespace skyrift {

// Angles.
inline constexpr double kPi = std::numbers::pi;
inline constexpr double kTwoPi = 2.0 * kPi;
inline constexpr double kRadPerDeg = kPi / 180.0;
inline constexpr double kDegPerRad = 180.0 / kPi;

// Speed of light in vacuum, m/s (exact by definition of the metre).
inline constexpr double kSpeedOfLight = 299792458.0;

// GPS L1 carrier wavelength, m: the default of every single-signal computation.
inline constexpr double kGpsL1Wavelength = kSpeedOfLight / 1575.42e6;

// WGS 84 ellipsoid: semi-major axis (m), semi-minor axis (m), first eccentricity squared.
inline constexpr double kWgs84A = 6378137.0;
inline constexpr double kWgs84B = 6356752.314245179;
inline constexpr double kWgs84E2 = 0.0066943799901413165;
// Earth's gravitational parameter as WGS 84 first gave it (m^3/s^2); the GPS documents
// keep this value.
inline constexpr double kWgs84Gm = 3.986005e14;
// The refined gravitational parameter (IERS), adopted by Galileo, BeiDou (CGCS2000) and
// GLONASS (PZ-90.11).
inline constexpr double kRefinedGm = 3.986004418e14;
// Earth rotation rate, rad/s: WGS 84, also Galileo's and GLONASS's; CGCS2000 rounds it.
inline constexpr double kEarthRate = 7.2921151467e-5;
inline constexpr double kCgcs2000EarthRate = 7.292115e-5;

// Constants of the broadcast orbit models, as the interface-control documents give
// them: each system's ephemeris is only exact with its own values.
namespace broadcast {

// GPS (IS-GPS-200), also used by QZSS and NavIC, whose documents adopt it.
inline constexpr double kGpsMu = kWgs84Gm;
inline constexpr double kGpsEarthRate = kEarthRate;
// Galileo (OS SIS ICD).
inline constexpr double kGalileoMu = kRefinedGm;
inline constexpr double kGalileoEarthRate = kEarthRate;
// BeiDou (BDS-SIS-ICD, CGCS2000).
inline constexpr double kBeidouMu = kRefinedGm;
inline constexpr double kBeidouEarthRate = kCgcs2000EarthRate;
// BeiDou GEO satellites are computed in a frame tilted by -5 degrees about x.
inline constexpr double kBeidouGeoTiltRad = -5.0 * kPi / 180.0;

// GLONASS (ICD edition 5.1, PZ-90).
inline constexpr double kGlonassMu = kRefinedGm;
inline constexpr double kGlonassEarthRadius = 6378136.0;  // m
inline constexpr double kGlonassJ2 = 1082625.75e-9;
inline constexpr double kGlonassEarthRate = kEarthRate;

inline constexpr double kSecondsPerWeek = 604800.0;
// BeiDou time runs 14 s behind GPS time (their origins differ by the leap seconds of 2006).
inline constexpr double kBeidouBehindGps = 14.0;

}  // namespace broadcast

}  // namespace skyrift
