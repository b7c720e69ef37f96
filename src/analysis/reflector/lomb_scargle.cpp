#include "analysis/reflector/lomb_scargle.hpp"

#include <algorithm>
#include <cmath>

#include "utils/constants.hpp"

namespace skyrift {

namespace {

// Sums of one frequency: y·cos, y·sin, cos², cos·sin (sin² is n − cos²).
struct Sums {
    double yc = 0.0, ys = 0.0, cc = 0.0, cs = 0.0;
};

double power_from_sums(const Sums& s, double n) {
    const double ss = n - s.cc;
    // tan 2ωτ = Σ sin 2ωx / Σ cos 2ωx = 2·Σcs / (Σcc − Σss); cos ωτ and sin ωτ follow
    // from the half-angle formulas (no trigonometric call per frequency).
    const double sin2 = 2.0 * s.cs, cos2 = s.cc - ss;
    const double r = std::sqrt(sin2 * sin2 + cos2 * cos2);
    const double c2 = r > 0.0 ? cos2 / r : 1.0;
    const double cp = std::sqrt(std::max(0.0, 0.5 * (1.0 + c2)));
    const double sp = std::copysign(std::sqrt(std::max(0.0, 0.5 * (1.0 - c2))), sin2);
    const double yc = s.yc * cp + s.ys * sp;
    const double ys = s.ys * cp - s.yc * sp;
    const double cross = 2.0 * s.cs * cp * sp;
    const double cc = s.cc * cp * cp + cross + ss * sp * sp;
    const double sn = ss * cp * cp - cross + s.cc * sp * sp;
    // Relative floor: a denominator at rounding level of n carries no signal.
    const double floor = 1e-12 * n;
    double p = 0.0;
    if (cc > floor) p += yc * yc / cc;
    if (sn > floor) p += ys * ys / sn;
    return 0.5 * p;
}

// The sums of one frequency, and every sample's cosine and sine advanced to the next.
// Interleaved partial sums break the chains of dependent additions, so the loop runs at
// the speed of the multiplications and fills vector lanes; the wider lanes of AVX2 are
// used where the processor has them (the same operations in the same order, so the
// same results).
constexpr std::size_t kLanes = 8;

__attribute__((target_clones("avx2", "default")))
Sums sums_and_step(std::size_t n, const double* y, double* c, double* s, const double* dc, const double* ds) {
    double yc[kLanes] = {}, ys[kLanes] = {}, cc[kLanes] = {}, cs[kLanes] = {};
    std::size_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        for (std::size_t l = 0; l < kLanes; ++l) {
            const double ci = c[i + l], si = s[i + l];
            yc[l] += y[i + l] * ci;
            ys[l] += y[i + l] * si;
            cc[l] += ci * ci;
            cs[l] += ci * si;
            c[i + l] = ci * dc[i + l] - si * ds[i + l];
            s[i + l] = si * dc[i + l] + ci * ds[i + l];
        }
    }
    for (std::size_t l = 0; i < n; ++i, ++l) {
        const double ci = c[i], si = s[i];
        yc[l] += y[i] * ci;
        ys[l] += y[i] * si;
        cc[l] += ci * ci;
        cs[l] += ci * si;
        c[i] = ci * dc[i] - si * ds[i];
        s[i] = si * dc[i] + ci * ds[i];
    }
    Sums sums;
    for (std::size_t l = 0; l < kLanes; ++l) {
        sums.yc += yc[l];
        sums.ys += ys[l];
        sums.cc += cc[l];
        sums.cs += cs[l];
    }
    return sums;
}

// Frequencies between re-seeding the rotations from cos/sin.
constexpr std::size_t kReseedInterval = 256;

}  // namespace

double lomb_scargle_power(std::span<const double> x, std::span<const double> y, double frequency) {
    const std::size_t n = std::min(x.size(), y.size());
    const double omega = kTwoPi * frequency;
    Sums s;
    for (std::size_t i = 0; i < n; ++i) {
        const double c = std::cos(omega * x[i]), sn = std::sin(omega * x[i]);
        s.yc += y[i] * c;
        s.ys += y[i] * sn;
        s.cc += c * c;
        s.cs += c * sn;
    }
    return power_from_sums(s, static_cast<double>(n));
}

std::vector<double> lomb_scargle_powers(std::span<const double> x, std::span<const double> y,
                                        const FrequencyGrid& grid) {
    const std::size_t n = std::min(x.size(), y.size());
    std::vector<double> power(grid.count, 0.0);
    if (n == 0) return power;
    std::vector<double> c(n), s(n), dc(n), ds(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double delta = kTwoPi * grid.step * x[i];
        dc[i] = std::cos(delta);
        ds[i] = std::sin(delta);
    }
    for (std::size_t k = 0; k < grid.count; ++k) {
        if (k % kReseedInterval == 0) {
            const double omega = kTwoPi * grid.at(k);
            for (std::size_t i = 0; i < n; ++i) {
                c[i] = std::cos(omega * x[i]);
                s[i] = std::sin(omega * x[i]);
            }
        }
        power[k] = power_from_sums(sums_and_step(n, y.data(), c.data(), s.data(), dc.data(), ds.data()),
                                   static_cast<double>(n));
    }
    return power;
}

double power_to_amplitude(double power, std::size_t n) {
    if (n == 0 || !(power > 0.0)) return 0.0;
    return std::sqrt(4.0 * power / static_cast<double>(n));
}

}  // namespace skyrift
