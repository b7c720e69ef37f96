#pragma once
// The classical Lomb–Scargle periodogram of unevenly sampled values, on a uniform grid
// of frequencies, and at single frequencies for refining a peak.
#include <cstddef>
#include <span>
#include <vector>

namespace skyrift {

// Frequencies start, start + step, ... (count of them), in cycles per unit of x.
struct FrequencyGrid {
    double start = 0.0;
    double step = 0.0;
    std::size_t count = 0;
    double at(std::size_t k) const { return start + step * static_cast<double>(k); }
};

// Lomb–Scargle power P(f) = ½[(Σ y cos ω(x−τ))² / Σ cos² ω(x−τ) + (Σ y sin ω(x−τ))² / Σ sin² ω(x−τ)],
// ω = 2πf, with τ the usual time offset that decouples the two terms. The values are
// taken as they are (not re-centred). A term whose denominator vanishes counts as 0.
double lomb_scargle_power(std::span<const double> x, std::span<const double> y, double frequency);

// The same power at every grid frequency. The cosines and sines of each sample are
// advanced from one frequency to the next by a rotation, which keeps the cost at a few
// multiplications per sample and frequency; the result equals the direct evaluation
// to rounding (the rotations are re-seeded from the trigonometric functions regularly).
std::vector<double> lomb_scargle_powers(std::span<const double> x, std::span<const double> y,
                                        const FrequencyGrid& grid);

// Amplitude of the sinusoid that a power stands for: sqrt(4P/N), in the unit of y.
// For N evenly spread samples of a·cos(ωx + φ) this is a.
double power_to_amplitude(double power, std::size_t n);

}  // namespace skyrift
