#pragma once
// Scale-averaged wavelet power in period bands, the default bands, and the scalogram.
#include <cstddef>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "analysis/morlet.hpp"
#include "utils/result.hpp"

namespace skyrift {

using PeriodBand = std::pair<double, double>;  // [lo, hi) seconds

// One row per band, one value per sample: Σ |W|²/scale over the band's scales,
// times dj·dt/Cδ.
std::vector<std::vector<double>> band_power(const WaveletTransform& wt,
                                            std::span<const PeriodBand> bands);

// Four bands chosen by the sampling interval.
std::vector<PeriodBand> period_bands(double dt);

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
