#pragma once
// Scale-averaged wavelet power in period bands, and the default bands.
#include <cstddef>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "analysis/snr/morlet.hpp"
#include "utils/result.hpp"

namespace skyrift {

using PeriodBand = std::pair<double, double>;  // [lo, hi) seconds

// One row per band, one value per sample: Σ |W|²/scale over the band's scales,
// times dj·dt/Cδ.
std::vector<std::vector<double>> band_power(const WaveletTransform& wt,
                                            std::span<const PeriodBand> bands);

// The same for a series: its Morlet transform (scales from dt and dj, the smallest
// chosen by the transform), then the band power; fails where the transform does.
Result<std::vector<std::vector<double>>> band_power(std::span<const double> y, double dt, double dj,
                                                    std::span<const PeriodBand> bands);

// Four bands chosen by the sampling interval.
std::vector<PeriodBand> period_bands(double dt);

}  // namespace skyrift
