#pragma once
// Constants of the broadcast orbit models, as the interface-control documents give
// them: each system's ephemeris is only exact with its own values.
#include <cstdint>

namespace skyrift::broadcast {

// GPS (IS-GPS-200), also used by QZSS and NavIC, whose documents adopt it.
inline constexpr double kGpsMu = 3.986005e14;              // m^3/s^2
inline constexpr double kGpsEarthRate = 7.2921151467e-5;   // rad/s
// Galileo (OS SIS ICD).
inline constexpr double kGalileoMu = 3.986004418e14;
inline constexpr double kGalileoEarthRate = 7.2921151467e-5;
// BeiDou (BDS-SIS-ICD, CGCS2000).
inline constexpr double kBeidouMu = 3.986004418e14;
inline constexpr double kBeidouEarthRate = 7.292115e-5;
// BeiDou GEO satellites are computed in a frame tilted by -5 degrees about x.
inline constexpr double kBeidouGeoTiltRad = -5.0 * 3.14159265358979323846 / 180.0;

// GLONASS (ICD edition 5.1, PZ-90).
inline constexpr double kGlonassMu = 398600.4418e9;
inline constexpr double kGlonassEarthRadius = 6378136.0;   // m
inline constexpr double kGlonassJ2 = 1082625.75e-9;
inline constexpr double kGlonassEarthRate = 7.2921151467e-5;

inline constexpr double kSecondsPerWeek = 604800.0;
// BeiDou time runs 14 s behind GPS time (their origins differ by the leap seconds of 2006).
inline constexpr double kBeidouBehindGps = 14.0;

}  // namespace skyrift::broadcast
