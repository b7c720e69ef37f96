#pragma once
// Which epochs an analysis looks at, their sampling interval and the arc gap threshold.
#include <cstdint>
#include <optional>
#include <vector>

#include "rinex/obs_data.hpp"

namespace skyrift {

// Indices of the analysed epochs: every k-th from the first, k = ceil(N / max_epochs),
// when a positive limit is below the number of epochs N; otherwise all of them.
std::vector<uint32_t> analysed_epochs(std::size_t num_epochs, std::optional<uint64_t> max_epochs);

// Upper median of the spacings among the first 101 analysed epochs, from their exact
// millisecond time stamps; the header interval (or 30 s) when there is none; at least 1 ms.
double sampling_interval(const RinexObsData& obs, const std::vector<uint32_t>& epochs);

// A time difference above this starts a new arc.
double gap_threshold(double arc_gap_factor, double interval);

}  // namespace skyrift
