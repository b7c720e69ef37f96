#pragma once
// Satellite position from broadcast Keplerian elements by the interface-control
// formulas (IS-GPS-200 table 20-IV, its civil-message form with A-dot and delta-n-dot,
// Galileo OS SIS ICD, BeiDou ICD including the GEO satellites' own rotation).
#include "navigation/nav_record.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

struct KeplerModel {
    double mu = 0.0;          // gravitational constant of the system, m^3/s^2
    double earth_rate = 0.0;  // Earth rotation rate of the system, rad/s
    bool beidou_geo = false;  // elements of an inclined frame, rotated into ECEF at the end
};

// The constants of the satellite's system, and whether a BeiDou ephemeris has the GEO form.
KeplerModel kepler_model(const Satellite& satellite);

// ECEF position (the system's frame) `tk` seconds after toe on the system's time line.
Ecef kepler_position(const KeplerElements& k, const KeplerModel& model, double tk);

}  // namespace skyrift
