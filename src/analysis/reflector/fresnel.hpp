#pragma once
// First Fresnel zones of ground reflections from a horizontal plane below the antenna.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "utils/constants.hpp"

namespace skyrift {

struct FresnelZone {
    double a = 0.0;     // semi-major axis, along the azimuth (m)
    double b = 0.0;     // semi-minor axis (m)
    double dist = 0.0;  // horizontal distance from the antenna foot to the centre (m)
};

// Elevations below 0.5° are taken as 0.5°.
FresnelZone fresnel_zone(double elevation_deg, double antenna_height, double wavelength);

struct Track {
    std::string sat;
    std::vector<double> azimuths;
    std::vector<double> elevations;
};

struct Footprint {
    std::string sat;
    double az = 0.0;
    double el = 0.0;
    FresnelZone zone;
};

// One footprint per 10°×10° az/el cell and track: the first sample of the track to
// enter the cell at or above min_elevation.
std::vector<Footprint> fresnel_map(std::span<const Track> tracks, double antenna_height,
                                   double min_elevation, double wavelength);

}  // namespace skyrift
