#pragma once
// The one time line of the broadcast orbits: seconds since 1980-01-06T00:00:00.
// Each system keeps its own scale on it (GPS, Galileo, QZSS, NavIC and SBAS share
// GPS time to nanoseconds; BeiDou time is GPS - 14 s; GLONASS epochs are UTC);
// readers convert every reference time to GPS time once, so queries need no care.
#include <optional>

#include "utils/time.hpp"

namespace skyrift {

// The epoch's calendar fields as seconds since the GPS origin, in whatever scale the
// epoch is written; absent when the second is not finite.
std::optional<double> seconds_since_gps_origin(const Epoch& e);

// GPS - UTC in whole seconds at a UTC time given as seconds since the GPS origin
// (the leap-second history since 1980; 0 before the first leap second of GPS time).
int gps_minus_utc(double utc_seconds);

// The instant nearest to `near` whose second of week is `seconds_of_week`: resolves
// the week of a reference time given as seconds of week (immune to week rollovers
// and to week fields counted from another origin).
double nearest_with_second_of_week(double near, double seconds_of_week);

}  // namespace skyrift
