#include "analysis/snr/fft.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "utils/constants.hpp"

namespace skyrift {

namespace {

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
    reversed_.resize(n_);
    for (std::size_t i = 0; i < n_; ++i) reversed_[i] = static_cast<uint32_t>(reverse_bits(i, bits));
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

namespace {

inline void butterfly(double& ar, double& ai, double& br, double& bi, double wr, double wi) {
    const double ur = wr * br - wi * bi;
    const double ui = wr * bi + wi * br;
    const double vr = ar, vi = ai;
    ar = vr + ur;
    ai = vi + ui;
    br = vr - ur;
    bi = vi - ui;
}

// The half-length-`half` butterflies of one block; the four runs never overlap.
inline void block_butterflies(double* __restrict ar, double* __restrict ai, double* __restrict br,
                              double* __restrict bi, const double* __restrict wr, const double* __restrict wi,
                              std::size_t half) {
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

// One butterfly stage of half-length `half`; `w` points at that stage's twiddles.
inline void stage(double* re, double* im, std::size_t n, std::size_t half, const double* wr, const double* wi) {
    for (std::size_t b = 0; b < n; b += 2 * half) {
        block_butterflies(re + b, im + b, re + b + half, im + b + half, wr, wi, half);
    }
}

inline void quad_butterflies(double* __restrict r0, double* __restrict i0, double* __restrict r1,
                             double* __restrict i1, double* __restrict r2, double* __restrict i2,
                             double* __restrict r3, double* __restrict i3, const double* __restrict w1r,
                             const double* __restrict w1i, const double* __restrict w2r,
                             const double* __restrict w2i, const double* __restrict w3r,
                             const double* __restrict w3i, std::size_t half) {
    for (std::size_t l = 0; l < half; ++l) {
        double ar = r0[l], ai = i0[l], br = r1[l], bi = i1[l];
        double cr = r2[l], ci = i2[l], dr = r3[l], di = i3[l];
        butterfly(ar, ai, br, bi, w1r[l], w1i[l]);
        butterfly(cr, ci, dr, di, w1r[l], w1i[l]);
        butterfly(ar, ai, cr, ci, w2r[l], w2i[l]);
        butterfly(br, bi, dr, di, w3r[l], w3i[l]);
        r0[l] = ar;
        i0[l] = ai;
        r1[l] = br;
        i1[l] = bi;
        r2[l] = cr;
        i2[l] = ci;
        r3[l] = dr;
        i3[l] = di;
    }
}

// Stages `half` and 2·half in one pass over the data: each group of four points gets
// the same two butterflies of the first stage and then the same two of the second as
// stage by stage, only with one load and store of every point instead of two.
inline void stage_pair(double* re, double* im, std::size_t n, std::size_t half, const double* twr,
                       const double* twi) {
    const double* w1r = twr + (half - 1);
    const double* w1i = twi + (half - 1);
    const double* w2r = twr + (2 * half - 1);
    const double* w2i = twi + (2 * half - 1);
    for (std::size_t b = 0; b < n; b += 4 * half) {
        quad_butterflies(re + b, im + b, re + b + half, im + b + half, re + b + 2 * half, im + b + 2 * half,
                         re + b + 3 * half, im + b + 3 * half, w1r, w1i, w2r, w2i, w2r + half, w2i + half, half);
    }
}

// Runs the stages half, 2·half, … below `end` on n points, two at a time where possible.
inline void stages(double* re, double* im, std::size_t n, std::size_t half, std::size_t end, const double* twr,
                   const double* twi) {
    while (half < end) {
        if (4 * half <= end) {
            stage_pair(re, im, n, half, twr, twi);
            half *= 4;
        } else {
            stage(re, im, n, half, twr + (half - 1), twi + (half - 1));
            half *= 2;
        }
    }
}

// Stages whose butterflies stay within blocks of this many points run block by block,
// all such stages on one block before the next, so the block stays in cache. Every
// butterfly still sees exactly the inputs it would see stage by stage: same bits.
constexpr std::size_t kCacheBlock = 4096;

// Built for AVX2 and for the baseline; without FMA contraction both give the same bits.
// ThreadSanitizer cannot run the loader-time resolver of such clones: one version there.
#if defined(__SANITIZE_THREAD__)
#define SKYRIFT_VECTOR_CLONES
#else
#define SKYRIFT_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#endif
SKYRIFT_VECTOR_CLONES
void all_stages(double* re, double* im, std::size_t n, std::size_t first, const double* twr, const double* twi) {
    const std::size_t block = std::min(n, kCacheBlock);
    if (first < block) {
        for (std::size_t b = 0; b < n; b += block) stages(re + b, im + b, block, first, block, twr, twi);
    }
    stages(re, im, n, std::max(first, block), n, twr, twi);
}

}  // namespace

void FftPlan::execute(double* re, double* im) const {
    if (n_ <= 1) return;
    for (std::size_t i = 0; i < n_; ++i) {
        const std::size_t r = reversed_[i];
        if (i < r) {
            std::swap(re[i], re[r]);
            std::swap(im[i], im[r]);
        }
    }
    execute_bit_reversed(re, im);
}

void FftPlan::execute_bit_reversed(double* re, double* im, std::size_t first_half) const {
    if (n_ <= 1) return;
    all_stages(re, im, n_, first_half, stage_re_.data(), stage_im_.data());
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
