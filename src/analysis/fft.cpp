#include "analysis/fft.hpp"

#include <cmath>
#include <utility>

namespace skyrift {

namespace {

constexpr double kTwoPi = 6.283185307179586;

std::size_t reverse_bits(std::size_t i, unsigned bits) {
    std::size_t r = 0;
    for (unsigned b = 0; b < bits; ++b) {
        r = (r << 1) | (i & 1);
        i >>= 1;
    }
    return r;
}

}  // namespace

std::size_t next_power_of_two(std::size_t n) {
    std::size_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

FftPlan::FftPlan(std::size_t n, bool inverse) : n_(n), inverse_(inverse) {
    if (n_ <= 1) return;
    unsigned bits = 0;
    while ((std::size_t{1} << bits) < n_) ++bits;
    for (std::size_t i = 0; i < n_; ++i) {
        const std::size_t r = reverse_bits(i, bits);
        if (i < r) {
            swaps_.push_back(i);
            swaps_.push_back(r);
        }
    }
    const double theta = inverse ? kTwoPi : -kTwoPi;
    const double size = static_cast<double>(n_);
    std::vector<double> wr(n_ / 2), wi(n_ / 2);
    for (std::size_t k = 0; k < n_ / 2; ++k) {
        const double angle = static_cast<double>(k) * theta / size;
        wr[k] = std::cos(angle);
        wi[k] = std::sin(angle);
    }
    stage_re_.resize(n_ - 1);
    stage_im_.resize(n_ - 1);
    for (std::size_t half = 1; half < n_; half <<= 1) {
        const std::size_t stride = n_ / (2 * half);
        for (std::size_t l = 0; l < half; ++l) {
            stage_re_[half - 1 + l] = wr[l * stride];
            stage_im_[half - 1 + l] = wi[l * stride];
        }
    }
}

void FftPlan::execute(double* re, double* im) const {
    if (n_ <= 1) return;
    for (std::size_t p = 0; p < swaps_.size(); p += 2) {
        std::swap(re[swaps_[p]], re[swaps_[p + 1]]);
        std::swap(im[swaps_[p]], im[swaps_[p + 1]]);
    }
    for (std::size_t half = 1; half < n_; half <<= 1) {
        const double* wr = stage_re_.data() + (half - 1);
        const double* wi = stage_im_.data() + (half - 1);
        for (std::size_t b = 0; b < n_; b += 2 * half) {
            double* ar = re + b;
            double* ai = im + b;
            double* br = re + b + half;
            double* bi = im + b + half;
            for (std::size_t l = 0; l < half; ++l) {
                const double ur = wr[l] * br[l] - wi[l] * bi[l];
                const double ui = wr[l] * bi[l] + wi[l] * br[l];
                const double vr = ar[l], vi = ai[l];
                ar[l] = vr + ur;
                ai[l] = vi + ui;
                br[l] = vr - ur;
                bi[l] = vi - ui;
            }
        }
    }
    if (inverse_) {
        const double scale = 1.0 / static_cast<double>(n_);
        for (std::size_t i = 0; i < n_; ++i) {
            re[i] *= scale;
            im[i] *= scale;
        }
    }
}

void fft(std::vector<double>& re, std::vector<double>& im, bool inverse) {
    FftPlan(re.size(), inverse).execute(re.data(), im.data());
}

}  // namespace skyrift
