#pragma once
// Which stretch of time an orbit gives positions for, and how much of an observation
// span that is: the one rule every analysis that takes an orbit applies before it runs
// (an orbit of another day gives no error of its own, only positions nowhere).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "navigation/nav_data.hpp"
#include "navigation/orbit_source.hpp"
#include "navigation/sp3_data.hpp"
#include "utils/result.hpp"

namespace skyrift {

// Two integer-millisecond instants (instant_ms, GPS time), both included.
struct TimeSpanMs {
    int64_t first = 0, last = 0;
};

// From the first to the last instant at which the orbit gives any position: SP3 records
// widened by their reach (see RecordSpan), ephemerides by their validity (reference time
// -/+ max_age). Absent when it gives none (no satellite with nine records, no ephemeris).
std::optional<TimeSpanMs> precise_span(const Sp3Data& sp3);
std::optional<TimeSpanMs> broadcast_span(const NavData& nav);

struct OrbitCoverage {
    bool has_precise = false, has_broadcast = false;  // which orbits were given
    std::optional<TimeSpanMs> precise, broadcast;     // each one's span, when it gives positions
    TimeSpanMs observed;
    // The share of `observed` (by duration) inside either orbit's span; for a single
    // instant 1 or 0. Gaps within one orbit's span are not looked for.
    double share = 0.0;
};

OrbitCoverage orbit_coverage(const OrbitSource& orbit, const TimeSpanMs& observed);

// The coverage; an error naming both spans when the orbit covers none of
// `observed` (`what` names it in the message: "observations", "estimates").
Result<OrbitCoverage> require_orbit_overlap(const OrbitSource& orbit, const TimeSpanMs& observed,
                                           std::string_view what);

// For a warning when the share is below 1: "only 62.5% of the observations (A to B) lie
// within the orbit's span: SP3 orbit covers C to D GPS time; ...".
std::string partial_coverage_text(const OrbitCoverage& coverage, std::string_view what);

}  // namespace skyrift
