#include "navigation/ephemeris_builder.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "utils/constants.hpp"
#include "navigation/broadcast_time.hpp"
#include "rinex/beidou_orbits.hpp"

namespace skyrift {

namespace {

// How long an ephemeris is used either side of its reference time. GPS-like orbits
// are fitted over 4 hours (longer when the record says so), Galileo and BeiDou
// elements stay metre-level for hours; GLONASS tb come every 30 minutes and SBAS
// messages every few minutes.
constexpr double kGpsAge = 2 * 3600.0;
constexpr double kGalileoAge = 4 * 3600.0;
constexpr double kBeidouAge = 4 * 3600.0;
constexpr double kGlonassAge = 1800.0;
constexpr double kSbasAge = 360.0;
constexpr double kLongestFitHours = 98.0;
// No orbit lies inside the Earth: a record whose semi-major axis, or whose state
// vector's distance from the centre, is below the polar radius (WGS 84) is damaged
// (a record of zeros, say), however finite its numbers.
constexpr double kLowestOrbitRadius = 6356752.3;

// Number indexes of the Keplerian records (LNAV layout; the civil messages differ
// only where noted).
enum KeplerField : std::size_t {
    kAdot = 3, kCrs = 4, kDeltaN = 5, kM0 = 6, kCuc = 7, kEcc = 8, kCus = 9, kSqrtA = 10, kToe = 11, kCic = 12,
    kOmega0 = 13, kCis = 14, kI0 = 15, kCrc = 16, kOmega = 17, kOmegaDot = 18, kIdot = 19, kDataSources = 20,
    kDeltaNDot = 20, kHealth = 24, kFitInterval = 28,
};
// State-vector records (GLONASS, SBAS): x, vx, ax, health; y, vy, ay; z, vz, az.
enum StateField : std::size_t { kX = 3, kStateHealth = 6, kY = 7, kZ = 11 };

// Lines up to the last number used: the health line of Keplerian records (the
// transmission-time line after it is not needed), the z line of state vectors.
std::size_t lines_needed(NavMessage m) { return m == NavMessage::Fdma || m == NavMessage::Sbas ? 4 : 7; }

bool all_finite(const RecordFields& r, std::initializer_list<std::size_t> indexes) {
    return std::all_of(indexes.begin(), indexes.end(), [&](std::size_t i) { return std::isfinite(r.value(i)); });
}

// Blank health means healthy; any flag set means not.
bool healthy_value(double v) { return !std::isfinite(v) || v == 0.0; }

double kepler_age(const RecordFields& r, NavMessage m) {
    switch (r.satellite.system) {
        case GnssSystem::Galileo: return kGalileoAge;
        case GnssSystem::BeiDou: return kBeidouAge;
        case GnssSystem::GPS: {
            const double fit_hours = m == NavMessage::Lnav ? r.value(kFitInterval) : 0.0;
            if (std::isfinite(fit_hours) && fit_hours > 0.0) {
                return std::max(kGpsAge, std::min(fit_hours, kLongestFitHours) * 1800.0);
            }
            return kGpsAge;
        }
        default: return kGpsAge;
    }
}

std::optional<BroadcastEphemeris> kepler_ephemeris(const RecordFields& r, NavMessage m) {
    const bool civil = m == NavMessage::Cnav || m == NavMessage::Cnav2;
    if (!all_finite(r, {kCrs, kDeltaN, kM0, kCuc, kEcc, kCus, kSqrtA, kCic, kOmega0, kCis, kI0, kCrc, kOmega,
                        kOmegaDot, kIdot})) {
        return std::nullopt;
    }
    if (civil && !all_finite(r, {kAdot, kDeltaNDot})) return std::nullopt;
    const auto toc = seconds_since_gps_origin(r.epoch);
    if (!toc) return std::nullopt;
    // The civil messages give no toe of their own: it equals toc.
    const double toe_of_week = civil ? std::fmod(*toc, broadcast::kSecondsPerWeek) : r.value(kToe);
    if (!(toe_of_week >= 0.0 && toe_of_week <= broadcast::kSecondsPerWeek)) return std::nullopt;
    if (!(r.value(kSqrtA) > 0.0 && r.value(kSqrtA) * r.value(kSqrtA) >= kLowestOrbitRadius) ||
        !(r.value(kEcc) >= 0.0 && r.value(kEcc) < 1.0)) {
        return std::nullopt;
    }

    KeplerElements k;
    k.sqrt_a = r.value(kSqrtA);
    k.eccentricity = r.value(kEcc);
    k.i0 = r.value(kI0);
    k.omega0 = r.value(kOmega0);
    k.omega = r.value(kOmega);
    k.m0 = r.value(kM0);
    k.delta_n = r.value(kDeltaN);
    k.idot = r.value(kIdot);
    k.omega_dot = r.value(kOmegaDot);
    k.cuc = r.value(kCuc);
    k.cus = r.value(kCus);
    k.crc = r.value(kCrc);
    k.crs = r.value(kCrs);
    k.cic = r.value(kCic);
    k.cis = r.value(kCis);
    if (civil) {
        k.a_dot = r.value(kAdot);
        k.delta_n_dot = r.value(kDeltaNDot);
    }
    k.toe_of_week = toe_of_week;

    BroadcastEphemeris e;
    e.satellite = r.satellite;
    e.message = m;
    e.healthy = healthy_value(r.value(kHealth));
    const double toe = nearest_with_second_of_week(*toc, toe_of_week);  // on the system's time line
    e.reference = r.satellite.system == GnssSystem::BeiDou ? toe + broadcast::kBeidouBehindGps : toe;
    e.max_age = kepler_age(r, m);
    e.orbit = k;
    return e;
}

std::optional<BroadcastEphemeris> state_ephemeris(const RecordFields& r, NavMessage m, std::optional<int> leap) {
    StateVector s;
    for (int axis = 0; axis < 3; ++axis) {
        const std::size_t first = axis == 0 ? kX : axis == 1 ? kY : kZ;
        if (!all_finite(r, {first, first + 1, first + 2})) return std::nullopt;
        s.position[axis] = r.value(first) * 1000.0;  // km, km/s, km/s^2 in the file
        s.velocity[axis] = r.value(first + 1) * 1000.0;
        s.acceleration[axis] = r.value(first + 2) * 1000.0;
    }
    if (!(std::hypot(s.position[0], s.position[1], s.position[2]) >= kLowestOrbitRadius)) return std::nullopt;
    const auto written = seconds_since_gps_origin(r.epoch);
    if (!written) return std::nullopt;
    BroadcastEphemeris e;
    e.satellite = r.satellite;
    e.message = m;
    e.healthy = healthy_value(r.value(kStateHealth));
    if (m == NavMessage::Fdma) {
        // GLONASS epochs are UTC; GPS time is ahead by the leap seconds.
        e.reference = *written + (leap ? *leap : gps_minus_utc(*written));
        e.max_age = kGlonassAge;
    } else {
        e.reference = *written;
        e.max_age = kSbasAge;
    }
    e.orbit = s;
    return e;
}

}  // namespace

NavMessage inferred_message(const RecordFields& r) {
    switch (r.satellite.system) {
        case GnssSystem::GLONASS: return NavMessage::Fdma;
        case GnssSystem::SBAS: return NavMessage::Sbas;
        case GnssSystem::Galileo: {
            // Data-source bit 1 marks F/NAV (E5a); I/NAV otherwise.
            const double sources = r.value(kDataSources);
            const bool fnav = std::isfinite(sources) && sources >= 0.0 && sources < 65536.0 &&
                              (static_cast<uint32_t>(sources) & 2u) != 0;
            return fnav ? NavMessage::Fnav : NavMessage::Inav;
        }
        case GnssSystem::BeiDou: return beidou_geo_ephemeris(r.satellite.prn) ? NavMessage::D2 : NavMessage::D1;
        default: return NavMessage::Lnav;
    }
}

bool message_belongs_to(NavMessage m, GnssSystem system) {
    switch (system) {
        case GnssSystem::GPS:
        case GnssSystem::QZSS: return m == NavMessage::Lnav || m == NavMessage::Cnav || m == NavMessage::Cnav2;
        case GnssSystem::NavIC: return m == NavMessage::Lnav;
        case GnssSystem::Galileo: return m == NavMessage::Inav || m == NavMessage::Fnav;
        case GnssSystem::BeiDou: return m == NavMessage::D1 || m == NavMessage::D2;
        case GnssSystem::GLONASS: return m == NavMessage::Fdma;
        case GnssSystem::SBAS: return m == NavMessage::Sbas;
        default: return false;
    }
}

std::optional<BroadcastEphemeris> build_ephemeris(const RecordFields& record, NavMessage message,
                                                  std::optional<int> leap_seconds, uint32_t file_order) {
    if (!message_belongs_to(message, record.satellite.system)) return std::nullopt;
    if (record.lines < lines_needed(message)) return std::nullopt;
    auto e = (message == NavMessage::Fdma || message == NavMessage::Sbas) ? state_ephemeris(record, message, leap_seconds)
                                                                          : kepler_ephemeris(record, message);
    if (e) e->file_order = file_order;
    return e;
}

}  // namespace skyrift
