#include "analysis/snr/morlet.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "analysis/snr/fft.hpp"
#include "utils/constants.hpp"
#include "utils/format.hpp"
#include "utils/saturate.hpp"
#include "utils/worker_pool.hpp"

namespace skyrift {

namespace {

constexpr double kPiQuarterRoot = 0.7511255444649425;  // π^(-1/4)
constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kOmega0 = 6.0;

// Bounds that keep an absurd s0 or dj from asking for terabytes: scales, and
// power values held at once.
constexpr int64_t kMaxScales = int64_t{1} << 20;
constexpr int64_t kMaxPowerValues = int64_t{1} << 28;

// χ² quantiles with 2 degrees of freedom (the power of a complex wavelet) at the two
// usual confidence levels, rounded as Torrence and Compo tabulate them; other levels
// use the exact quantile.
constexpr double kChi2At90Percent = 4.605;
constexpr double kChi2At95Percent = 5.991;

// The χ² quantile with 2 degrees of freedom: -2 ln(1 - p), exactly, for 0 < p < 1.
Result<double> chi2_quantile_2dof(double confidence) {
    if (confidence == 0.90) return kChi2At90Percent;
    if (confidence == 0.95) return kChi2At95Percent;
    if (!(confidence > 0.0 && confidence < 1.0)) {
        return GnssError::other("confidence must lie strictly between 0 and 1, got " + fmt_float(confidence));
    }
    return -2.0 * std::log1p(-confidence);
}

// J = log2(n·dt/s0)/dj truncated toward zero, saturating, NaN → 0, at least 1.
int64_t largest_scale_index(std::size_t n, double dt, double dj, double s0) {
    const int64_t J = saturating_int64(std::log2(static_cast<double>(n) * dt / s0) / dj);
    return J < 1 ? 1 : J;
}

std::vector<double> angular_frequencies(std::size_t N, double dt) {
    std::vector<double> omega(N);
    const std::size_t h = N - N / 2;
    const double span = static_cast<double>(N) * dt;
    for (std::size_t k = 0; k < N; ++k) {
        const double kk = k < h ? static_cast<double>(k)
                                : -static_cast<double>(N - k);  // k − N, exact
        omega[k] = kTwoPi * kk / span;
    }
    return omega;
}

struct Spectrum {
    std::vector<double> re, im;  // FFT of the zero-padded, mean-removed series
    bool finite = true;
};

Spectrum forward_spectrum(std::span<const double> y, std::size_t N) {
    const std::size_t n = y.size();
    double sum = 0.0;
    for (double v : y) sum += v;
    const double mean = sum / static_cast<double>(n > 0 ? n : 1);
    Spectrum s{std::vector<double>(N, 0.0), std::vector<double>(N, 0.0)};
    for (std::size_t i = 0; i < n; ++i) s.re[i] = y[i] - mean;
    FftPlan(N, false).execute(s.re.data(), s.im.data());
    for (std::size_t k = 0; k < N && s.finite; ++k) s.finite = std::isfinite(s.re[k]) && std::isfinite(s.im[k]);
    return s;
}

// exp(x) is exactly 0 in double precision below this, so those filter values
// contribute exact zeros and need not be computed.
constexpr double kExpUnderflow = -746.0;

// Largest scratch (points) a thread keeps between transforms.
constexpr std::size_t kKeptScratch = std::size_t{1} << 20;

// |W|² of one scale: the spectrum times the Morlet filter, back to the time domain.
void scale_power(const Spectrum& spectrum, const std::vector<double>& omega, const FftPlan& inverse,
                 std::size_t n, double s, double dt, double* power) {
    const std::size_t N = omega.size();
    const double norm = std::sqrt(s * kTwoPi / dt) * kPiQuarterRoot;
    // Scratch reused by every scale this thread computes: no allocation or page
    // faults per scale. Scale tasks never nest, so one buffer per thread suffices.
    thread_local std::vector<double> re, im;
    re.assign(N, 0.0);
    im.assign(N, 0.0);
    std::size_t highest = 0;  // largest k with a value
    for (std::size_t k = 0; k < N; ++k) {
        if (!(omega[k] > 0.0)) continue;  // zero and negative frequencies are dropped
        const double d = s * omega[k] - kOmega0;
        const double exponent = -0.5 * (d * d);
        // Skipping leaves a +0 where the product would be ±0: |W|² is the same. A
        // non-finite spectrum must still meet the zero factor (0·∞ = NaN).
        if (exponent < kExpUnderflow && spectrum.finite) continue;
        const double filter = std::exp(exponent);
        const std::size_t at = inverse.reversed(k);  // stored ready for the butterflies
        re[at] = spectrum.re[k] * filter * norm;
        im[at] = spectrum.im[k] * filter * norm;
        highest = k;
    }
    // Values only below k = N/block sit at multiples of `block` once bit-reversed; the
    // butterflies of the stages shorter than `block` pair each with an exact zero
    // (w·0 = ±0, v ± 0 = v) and so only copy it across its block: do that copy directly.
    const std::size_t block = N / next_power_of_two(highest + 1);
    if (block > 1) {
        for (std::size_t i = 0; i < N; i += block) {
            std::fill(re.begin() + i + 1, re.begin() + i + block, re[i]);
            std::fill(im.begin() + i + 1, im.begin() + i + block, im[i]);
        }
    }
    inverse.execute_bit_reversed(re.data(), im.data(), block);
    for (std::size_t i = 0; i < n; ++i) power[i] = re[i] * re[i] + im[i] * im[i];
    if (N > kKeptScratch) {  // an idle worker does not keep a huge buffer
        std::vector<double>().swap(re);
        std::vector<double>().swap(im);
    }
}

// Below this padded length a scale costs less than handing it to another thread;
// a transform that is itself one task of a larger loop (the SNR survey) shares the
// pool only for long series.
constexpr std::size_t kParallelLength = 256;
constexpr std::size_t kNestedParallelLength = 2048;

// |W|² of every scale into the row `row_of(j)` gives for scale j, on the worker pool
// for long series; every row is computed the same way wherever it runs.
template <typename RowOf>
void power_rows(std::span<const double> y, double dt, std::span<const double> scales, RowOf row_of) {
    const std::size_t n = y.size();
    const std::size_t N = next_power_of_two(n);
    const Spectrum spectrum = forward_spectrum(y, N);
    const std::vector<double> omega = angular_frequencies(N, dt);
    const FftPlan inverse(N, true);
    const auto one = [&](std::size_t j) { scale_power(spectrum, omega, inverse, n, scales[j], dt, row_of(j)); };
    if (N < (WorkerPool::in_task() ? kNestedParallelLength : kParallelLength)) {
        for (std::size_t j = 0; j < scales.size(); ++j) one(j);
    } else {
        WorkerPool::instance().parallel_for(scales.size(), one);
    }
}

}  // namespace

std::vector<double> cone_of_influence(std::size_t n, double dt) {
    std::vector<double> coi(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double m = static_cast<double>(std::min(i, n - 1 - i));
        coi[i] = m * dt * kMorletFourierFactor / kSqrt2;
    }
    return coi;
}

Result<MorletScales> morlet_scales(std::size_t n, double dt, double dj, std::optional<double> s0_given) {
    const double s0 = s0_given ? *s0_given : 2.0 * dt;
    const int64_t J = largest_scale_index(n, dt, dj, s0);
    const int64_t rows = n > 0 ? static_cast<int64_t>(n) : 1;
    if (J >= kMaxScales || (J + 1) > kMaxPowerValues / rows) {
        const std::string count = J == std::numeric_limits<int64_t>::max()
                                      ? std::string("unbounded")
                                      : std::to_string(J + 1);
        return GnssError::other("too many wavelet scales (" + count + " for " +
                                std::to_string(n) + " samples): increase s0 or dj");
    }
    MorletScales out;
    for (int64_t j = 0; j <= J; ++j) {
        const double s = s0 * std::pow(2.0, static_cast<double>(j) * dj);
        out.scales.push_back(s);
        out.periods.push_back(s * kMorletFourierFactor);
    }
    return out;
}

void morlet_power_into(std::span<const double> y, double dt, std::span<const double> scales, double* power) {
    power_rows(y, dt, scales, [&](std::size_t j) { return power + j * y.size(); });
}

Result<WaveletTransform> morlet_transform(std::span<const double> y, double dt, double dj,
                                          std::optional<double> s0_given) {
    Result<MorletScales> scales = morlet_scales(y.size(), dt, dj, s0_given);
    if (!scales) return scales.error();
    WaveletTransform wt;
    wt.dj = dj;
    wt.dt = dt;
    wt.scales = std::move(scales->scales);
    wt.periods = std::move(scales->periods);
    wt.coi = cone_of_influence(y.size(), dt);
    wt.power.resize(wt.scales.size());
    // Each row is allocated by the thread that computes it.
    power_rows(y, dt, wt.scales, [&](std::size_t j) {
        wt.power[j].resize(y.size());
        return wt.power[j].data();
    });
    return wt;
}

Result<std::vector<double>> red_noise_significance(std::span<const double> y, double dt,
                                                   std::span<const double> periods, double confidence) {
    const Result<double> chi2 = chi2_quantile_2dof(confidence);
    if (!chi2) return chi2.error();
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::size_t n = y.size();
    if (n < 3) return std::vector<double>(periods.size(), inf);
    double sum = 0.0;
    for (double v : y) sum += v;
    const double mean = sum / static_cast<double>(n);
    double ss = 0.0;
    for (double v : y) ss += (v - mean) * (v - mean);
    const double variance = ss / static_cast<double>(n);
    if (variance <= 0.0) return std::vector<double>(periods.size(), inf);

    // Lag-1 autocorrelation over the n−1 pairs (y[i], y[i+1]).
    const std::size_t m = n - 1;
    double sa = 0.0, sb = 0.0;
    for (std::size_t i = 0; i < m; ++i) {
        sa += y[i];
        sb += y[i + 1];
    }
    const double a = sa / static_cast<double>(m), b = sb / static_cast<double>(m);
    double cross = 0.0, var_a = 0.0, var_b = 0.0;
    for (std::size_t i = 0; i < m; ++i) {
        const double da = y[i] - a, db = y[i + 1] - b;
        cross += da * db;
        var_a += da * da;
        var_b += db * db;
    }
    double alpha = cross / std::sqrt(var_b * var_a);
    alpha = std::isnan(alpha) ? 0.0 : std::min(std::max(alpha, 0.0), 0.99);

    const double a2 = alpha * alpha;
    std::vector<double> levels;
    levels.reserve(periods.size());
    for (double p : periods) {
        const double red = (1.0 - a2) / (1.0 + a2 - 2.0 * alpha * std::cos(kTwoPi * dt / p));
        levels.push_back(red * variance * *chi2 * 0.5);
    }
    return levels;
}

}  // namespace skyrift
