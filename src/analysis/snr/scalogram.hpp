#pragma once
// The scalogram: wavelet power of a series' longest arc over time and period, with
// its red-noise significance and cone of influence, thinned for display.
#include <cstddef>
#include <span>
#include <vector>

#include "utils/result.hpp"

namespace skyrift {

struct Scalogram {
    std::vector<double> t;
    std::vector<double> periods;
    std::vector<std::vector<double>> power;  // one row per scale, one value per kept time
    std::vector<double> significance;
    std::vector<double> coi;
    double interval = 0.0;
};

// The longest arc's transform and red-noise significance, thinned to max_columns.
// Fails on a length mismatch, an arc under 40 samples, or the transform's size limit.
Result<Scalogram> scalogram(std::span<const double> t, std::span<const double> values,
                            double interval, std::size_t max_columns);

}  // namespace skyrift
