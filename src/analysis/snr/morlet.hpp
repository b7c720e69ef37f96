#pragma once
// Morlet continuous wavelet transform (Torrence & Compo 1998), computed in Fourier
// space, and its red-noise (AR(1)) significance levels.
#include <optional>
#include <span>
#include <vector>

#include "utils/result.hpp"

namespace skyrift {

inline constexpr double kMorletFourierFactor = 1.0330436477492537;  // period / scale
inline constexpr double kDefaultScaleSpacing = 0.125;

// Every consumer needs only the wavelet power |W|², so the transform keeps that
// (re² + im²) instead of the complex coefficients: half the memory of a long series.
struct WaveletTransform {
    std::vector<std::vector<double>> power;  // one row of n values per scale
    std::vector<double> scales;              // seconds
    std::vector<double> periods;             // seconds
    std::vector<double> coi;                 // cone-of-influence period per sample
    double dj = kDefaultScaleSpacing;
    double dt = 1.0;
};

// Fails only when s0 and dj would ask for an unbounded number of scales.
Result<WaveletTransform> morlet_transform(std::span<const double> y, double dt, double dj,
                                          std::optional<double> s0);

// The same transform in two steps, for callers that own the output memory: the scales
// (and periods) of a series of n samples, then |W|² written row by row into `power`
// (scales.size() rows of y.size() values), and the cone of influence.
struct MorletScales {
    std::vector<double> scales, periods;
};
Result<MorletScales> morlet_scales(std::size_t n, double dt, double dj, std::optional<double> s0);
void morlet_power_into(std::span<const double> y, double dt, std::span<const double> scales, double* power);
std::vector<double> cone_of_influence(std::size_t n, double dt);

// Red-noise significance level (units of y²) for each period at `confidence` (the χ²
// quantile with 2 degrees of freedom). Fails for a confidence outside (0, 1) or NaN.
Result<std::vector<double>> red_noise_significance(std::span<const double> y, double dt,
                                                   std::span<const double> periods, double confidence);

}  // namespace skyrift
