#pragma once
// The orbit of each BeiDou satellite, by PRN: geostationary (GEO), inclined
// geosynchronous (IGSO) or medium Earth orbit (MEO). The broadcast orbit takes its
// GEO form from here, reflectometry its satellites that hardly move across the sky.
#include <cstdint>

#include "rinex/types.hpp"

namespace skyrift {

enum class BeidouOrbit : uint8_t { MEO, IGSO, GEO };

// Orbit of the satellite that transmits as BeiDou PRN `prn`; MEO for a PRN outside 1..63.
BeidouOrbit beidou_orbit(uint32_t prn);

// Whether a PRN's broadcast ephemeris has the GEO form: the D2 message, with elements of
// a frame tilted by -5 degrees. The interface-control document gives that form to the
// GEO satellites on its GEO PRNs (1-5, 59-63) only; a GEO satellite on a test PRN
// (C17, C18) transmits the D1 message like the others.
bool beidou_geo_ephemeris(uint32_t prn);

// Whether a satellite hangs over one point of the sky: every SBAS satellite and BeiDou's
// GEO satellites (from the table above). Their signals neither rise nor set.
bool geostationary(const Satellite& sat);

}  // namespace skyrift
