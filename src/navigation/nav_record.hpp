#pragma once
// One broadcast ephemeris as read from a navigation file: Keplerian elements
// (GPS, QZSS, Galileo, BeiDou, NavIC) or a state vector (GLONASS, SBAS), with the
// reference time on the GPS time line and how long it may be used around it.
#include <array>
#include <cstdint>
#include <string_view>
#include <variant>

#include "rinex/types.hpp"

namespace skyrift {

// The navigation message an ephemeris came from (the RINEX 4 record types). Within a
// system the order is the order of preference at equal reference times: the legacy
// messages first, which every receiver tracks, then the civil ones (F/NAV after I/NAV).
enum class NavMessage : uint8_t { Lnav, Cnav, Cnav2, Inav, Fnav, D1, D2, Fdma, Sbas };
std::string_view nav_message_name(NavMessage m);  // "LNAV", "CNAV", "CNV2", ...

// Elements as the RINEX record gives them (radians, metres, seconds).
struct KeplerElements {
    double sqrt_a = 0.0, eccentricity = 0.0, i0 = 0.0, omega0 = 0.0, omega = 0.0, m0 = 0.0;
    double delta_n = 0.0, idot = 0.0, omega_dot = 0.0;
    double cuc = 0.0, cus = 0.0, crc = 0.0, crs = 0.0, cic = 0.0, cis = 0.0;
    double a_dot = 0.0, delta_n_dot = 0.0;  // the civil messages (CNAV, CNAV-2) only
    double toe_of_week = 0.0;               // seconds of the system's week
};

// Position, velocity and acceleration at the reference time, ECEF, in metres and seconds.
// For GLONASS the acceleration is the broadcast luni-solar one.
struct StateVector {
    std::array<double, 3> position{}, velocity{}, acceleration{};
};

struct BroadcastEphemeris {
    Satellite satellite;
    NavMessage message = NavMessage::Lnav;
    bool healthy = true;
    // Seconds since 1980-01-06T00:00:00 GPS time: toe (Keplerian), tb (GLONASS), t0 (SBAS).
    double reference = 0.0;
    double max_age = 0.0;  // used only within reference -/+ max_age
    uint32_t file_order = 0;
    std::variant<KeplerElements, StateVector> orbit;
};

}  // namespace skyrift
