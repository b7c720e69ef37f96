#pragma once
// From the numbers of one navigation record to a broadcast ephemeris: which number
// is which for every message type, unit conversions, the reference time on the GPS
// time line, health, and how long the ephemeris may be used.
#include <cstdint>
#include <optional>

#include "navigation/nav_record.hpp"
#include "navigation/nav_record_fields.hpp"

namespace skyrift {

// RINEX 2 and 3 records do not name their message: GPS, QZSS and NavIC LNAV, Galileo
// I/NAV or F/NAV from the data-source bits, BeiDou D2 for GEO satellites and D1 else.
NavMessage inferred_message(const RecordFields& record);

// True when the message type exists for the system (RINEX 4 frames name both).
bool message_belongs_to(NavMessage message, GnssSystem system);

// Absent when the record is damaged: too few lines for its message, or an orbit
// number missing or not finite. `leap_seconds` (GPS - UTC from the header) places
// GLONASS epochs, which are UTC; without it the leap-second history is used.
std::optional<BroadcastEphemeris> build_ephemeris(const RecordFields& record, NavMessage message,
                                                  std::optional<int> leap_seconds, uint32_t file_order);

}  // namespace skyrift
