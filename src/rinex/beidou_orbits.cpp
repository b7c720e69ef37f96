#include "rinex/beidou_orbits.hpp"

#include <array>

namespace skyrift {

namespace {

constexpr BeidouOrbit G = BeidouOrbit::GEO, I = BeidouOrbit::IGSO, M = BeidouOrbit::MEO;

// Orbits of PRNs 1..63. Sources: the PRN plan of BDS-SIS-ICD-B1I 3.0 (CSNO, February
// 2019: GEO on 1-5 and 59-63, D1 satellites on 6-58); the satellites behind each PRN
// from the IGS MGEX BeiDou constellation page and the satellite entries of the IGS
// antenna file (igs20.atx), matching the CSNO test and assessment center's constellation
// status of 2023 (C62 launched 17 May 2023) until the reassignment of 10-21 April 2026.
// That reassignment (IGSMAIL-8693, 22 April 2026) moved BDS-3 satellites onto the PRNs of
// retired BDS-2 ones (C40 then became a MEO); files from after it need a table by date.
constexpr std::array<BeidouOrbit, 63> kOrbitByPrn = {
    G, G, G, G, G,                       // C01-C05 BDS-2 GEO
    I, I, I, I, I,                       // C06-C10 BDS-2 IGSO-1..5
    M, M,                                // C11-C12 BDS-2 MEO
    I,                                   // C13 BDS-2 IGSO-6
    M,                                   // C14 BDS-2 MEO
    I,                                   // C15 a BDS-2 IGSO on a test PRN
    I,                                   // C16 BDS-2 IGSO-7
    G, G,                                // C17-C18 BDS-2 GEO on test PRNs
    M, M, M, M, M, M, M, M, M, M, M, M,  // C19-C30 BDS-3 MEO
    I,                                   // C31 BDS-3S IGSO-1S (in-orbit validation)
    M, M, M, M, M, M,                    // C32-C37 BDS-3 MEO
    I, I, I,                             // C38-C40 BDS-3 IGSO-1..3
    M, M, M, M, M, M, M, M, M, M,        // C41-C50 BDS-3 MEO
    M, M, M, M, M,                       // C51-C55 unassigned D1 PRNs
    I,                                   // C56 BDS-3S IGSO-2S
    M, M,                                // C57-C58 BDS-3S MEO-1S, MEO-2S
    G, G, G, G, G,                       // C59-C62 BDS-3 GEO, C63 reserved for GEO
};

bool on_geo_prn(uint32_t prn) { return (prn >= 1 && prn <= 5) || (prn >= 59 && prn <= 63); }

}  // namespace

BeidouOrbit beidou_orbit(uint32_t prn) {
    return prn >= 1 && prn <= kOrbitByPrn.size() ? kOrbitByPrn[prn - 1] : BeidouOrbit::MEO;
}

bool beidou_geo_ephemeris(uint32_t prn) { return on_geo_prn(prn) && beidou_orbit(prn) == BeidouOrbit::GEO; }

bool geostationary(const Satellite& sat) {
    return sat.system == GnssSystem::SBAS ||
           (sat.system == GnssSystem::BeiDou && beidou_orbit(sat.prn) == BeidouOrbit::GEO);
}

}  // namespace skyrift
