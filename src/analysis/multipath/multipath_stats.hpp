#pragma once
// Per-signal statistics of multipath estimates, with elevation weighting.
#include <span>
#include <string>
#include <vector>

#include "analysis/multipath/multipath_results.hpp"

namespace skyrift {

// 1 at 30 degrees and above, 1 / (4 sin^2 e) between 0 and 30, 0 at or below 0 (and for NaN).
double elevation_weight(double elevation_degrees);

// Statistics of one series key's estimates (at least one).
StatsRecord compute_statistics(std::string key, std::span<const EstimateRecord> estimates,
                               uint64_t cycle_slips, bool elevation_weighting);

// Recomputes the weighted RMS of every statistics entry from the estimates' current
// elevations (an estimate without an orbit position weighs 0); entries whose key has
// no positive weight keep their value.
void refresh_weighted_rms(std::span<const EstimateRecord> estimates, std::vector<StatsRecord>& statistics);

}  // namespace skyrift
