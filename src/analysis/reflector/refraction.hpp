#pragma once
// Tropospheric bending of low elevation angles: Bennett's formula for the refraction
// of an apparent elevation, scaled to pressure and temperature, inverted to give the
// apparent elevation of a geometric one.
namespace skyrift {

struct Atmosphere {
    double pressure_hpa = 1010.0;
    double temperature_c = 10.0;
};

// The standard atmosphere at a height above sea level (metres): 1013.25 hPa and 15 °C at
// sea level, temperature falling 6.5 K per kilometre, pressure by the barometric formula.
Atmosphere standard_atmosphere(double height_m);

// Bennett's refraction (degrees) of an apparent elevation (degrees), for 1010 hPa and
// 10 °C scaled by (P/1010)·(283/(273+T)). Never negative.
double bennett_refraction(double apparent_elevation_deg, const Atmosphere& atmosphere);

// The apparent elevation whose Bennett refraction brings it down to the given geometric
// elevation. Elevations below -1° (outside the formula's range) are returned unchanged,
// as is a non-finite value.
double apparent_elevation(double geometric_elevation_deg, const Atmosphere& atmosphere);

}  // namespace skyrift
