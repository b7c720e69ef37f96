#pragma once
// Per-signal statistics of multipath estimates, with elevation weighting.
#include <span>
#include <string>
#include <vector>

#include "analysis/multipath/multipath_results.hpp"

namespace skyrift {

// 1 at 30 degrees and above, 1 / (4 sin^2 e) between 0 and 30, 0 at or below 0 (and for NaN).
double elevation_weight(double elevation_degrees);

// The weight of one estimate in the weighted RMS, the same for analyze() and
// compute_elevations: its elevation's weight once an orbit placed it, else 0. Without
// any placed estimate the sum of weights is 0 and the weighted RMS is the plain RMS,
// bit for bit, which is what weight 1 at the placeholder 45 degrees gave.
double estimate_weight(const EstimateRecord& e);

// Statistics of one series key's estimates (at least one); weighted by estimate_weight.
StatsRecord compute_statistics(std::string key, std::span<const EstimateRecord> estimates,
                               uint64_t cycle_slips, bool elevation_weighting);

// Recomputes the weighted RMS of every statistics entry from the estimates' current
// elevations by estimate_weight; entries whose key has no positive weight keep their
// value, which compute_statistics set to the plain RMS.
void refresh_weighted_rms(std::span<const EstimateRecord> estimates, std::vector<StatsRecord>& statistics);

}  // namespace skyrift
