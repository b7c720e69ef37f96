#pragma once
// Contiguous arcs of a time series, cut at time gaps only, and its typical sampling
// interval (the SNR analyses' arcs; multipath arcs follow rules of their own).
#include <cstddef>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace skyrift {

// Half-open index range [first, second) into the time array.
using GapArc = std::pair<std::size_t, std::size_t>;

// Cuts at every step strictly larger than gap_factor·dt; NaN, zero or negative steps
// never cut. Non-empty input gives at least one arc; the arcs cover every index once.
std::vector<GapArc> split_at_gaps(std::span<const double> times, double dt, double gap_factor);

// Median of the successive differences; absent for fewer than two times.
std::optional<double> median_interval(std::span<const double> times);

}  // namespace skyrift
