#pragma once
// In-place radix-2 FFT (decimation in time) on split real/imaginary arrays.
#include <cstddef>
#include <cstdint>
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

    // The same for input already stored in bit-reversed order: entry k of the input at
    // position reversed(k). Lets a caller that builds a sparse input scatter it directly
    // instead of permuting a whole buffer.
    // `first_half` > 1 starts at the stage of that half-length: for input that is
    // non-zero only below index N/first_half, whose first stages merely copy every
    // value over its block of first_half points (a caller does that copy itself).
    void execute_bit_reversed(double* re, double* im, std::size_t first_half = 1) const;
    std::size_t reversed(std::size_t k) const { return n_ <= 1 ? k : reversed_[k]; }

private:
    std::size_t n_;
    bool inverse_;
    std::vector<uint32_t> reversed_;  // index with its log2(N) low bits reversed
    std::vector<double> stage_re_, stage_im_;  // stage with half h starts at h - 1
};

// One-off transform of a power-of-two length (N <= 1 is left unchanged).
void fft(std::vector<double>& re, std::vector<double>& im, bool inverse);

// Smallest power of two not below n (1 for n <= 1).
std::size_t next_power_of_two(std::size_t n);

}  // namespace skyrift
