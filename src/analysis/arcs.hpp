#pragma once
// Contiguous arcs of a time series and its typical sampling interval.
#include <cstddef>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace skyrift {

// Half-open index range [first, second) into the time array.
using Arc = std::pair<std::size_t, std::size_t>;

// Cuts at every step strictly larger than gap_factor·dt; NaN, zero or negative steps
// never cut. Non-empty input gives at least one arc; the arcs cover every index once.
std::vector<Arc> split_arcs(std::span<const double> times, double dt, double gap_factor);

// Median of the successive differences; absent for fewer than two times.
std::optional<double> median_interval(std::span<const double> times);

}  // namespace skyrift
