#pragma once
// The time an orbit covers, to tell a caller why it gives no position for the
// observations (an orbit of another day).
#include <cstdint>
#include <optional>

#include "analysis/quality/quality_report.hpp"
#include "navigation/orbit_source.hpp"

namespace skyrift {

// SP3: first to last record; broadcast: the earliest start to the latest end of the
// ephemerides' validity; both: the union. Absent when the orbit holds nothing.
std::optional<TimeRange> orbit_span(const OrbitSource& orbit);

}  // namespace skyrift
