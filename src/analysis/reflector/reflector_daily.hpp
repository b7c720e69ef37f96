#pragma once
// Daily reflector heights: per day, the heights within a band around that day's median,
// averaged, as is usual for GNSS reflectometry products.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace skyrift {

struct DailyHeight {
    int64_t day = 0;  // floor(time / 86400)
    double mean = 0.0;
    double median = 0.0;  // of the heights kept
    double std = 0.0;     // sample standard deviation (n − 1) of the heights kept; NaN for one
    std::size_t count = 0;  // heights kept
};

// Days in increasing order. A height is kept when it lies within `median_filter` metres of
// its day's median; days keeping fewer than `min_tracks` heights are left out. Times are
// seconds on a scale whose day boundaries are multiples of 86400 (unix seconds); pairs with
// a non-finite time or height are ignored.
std::vector<DailyHeight> daily_heights(std::span<const double> times, std::span<const double> heights,
                                       double median_filter, std::size_t min_tracks);

}  // namespace skyrift
