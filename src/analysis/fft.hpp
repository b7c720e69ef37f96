#pragma once
// In-place radix-2 FFT (decimation in time) on split real/imaginary arrays.
#include <cstddef>
#include <vector>

namespace skyrift {

// The twiddle factors of every butterfly stage, laid out stage by stage so that the
// inner loop reads them contiguously. Entry l of the stage with half-length h is
// w[l·N/(2h)] of the table w[k] = (cos(k·θ/N), sin(k·θ/N)), θ = ∓2π.
class FftPlan {
public:
    FftPlan(std::size_t n, bool inverse);
    std::size_t size() const { return n_; }
    bool inverse() const { return inverse_; }

    // Transforms re/im (both of the plan's size) in place; the inverse scales by 1/N.
    void execute(double* re, double* im) const;

private:
    std::size_t n_;
    bool inverse_;
    std::vector<std::size_t> swaps_;  // bit-reversal pairs (i, r) with i < r
    std::vector<double> stage_re_, stage_im_;  // stage with half h starts at h - 1
};

// One-off transform of a power-of-two length (N <= 1 is left unchanged).
void fft(std::vector<double>& re, std::vector<double>& im, bool inverse);

// Smallest power of two not below n (1 for n <= 1).
std::size_t next_power_of_two(std::size_t n);

}  // namespace skyrift
