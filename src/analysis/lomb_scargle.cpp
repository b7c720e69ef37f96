#include "analysis/lomb_scargle.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace skyrift {

namespace {

// Sums of one frequency: y·cos, y·sin, cos², cos·sin (sin² is n − cos²).
struct Sums {
    double yc = 0.0, ys = 0.0, cc = 0.0, cs = 0.0;
};

double power_from_sums(const Sums& s, double n) {
    const double ss = n - s.cc;
    // tan 2ωτ = Σ sin 2ωx / Σ cos 2ωx = 2·Σcs / (Σcc − Σss)
    const double two_phi = std::atan2(2.0 * s.cs, s.cc - ss);
    const double cp = std::cos(0.5 * two_phi), sp = std::sin(0.5 * two_phi);
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

// Frequencies between re-seeding the rotations from cos/sin.
constexpr std::size_t kReseedInterval = 256;

}  // namespace

double lomb_scargle_power(std::span<const double> x, std::span<const double> y, double frequency) {
    const std::size_t n = std::min(x.size(), y.size());
    const double omega = 2.0 * std::numbers::pi * frequency;
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
    const double two_pi = 2.0 * std::numbers::pi;
    for (std::size_t i = 0; i < n; ++i) {
        const double delta = two_pi * grid.step * x[i];
        dc[i] = std::cos(delta);
        ds[i] = std::sin(delta);
    }
    for (std::size_t k = 0; k < grid.count; ++k) {
        if (k % kReseedInterval == 0) {
            const double omega = two_pi * grid.at(k);
            for (std::size_t i = 0; i < n; ++i) {
                c[i] = std::cos(omega * x[i]);
                s[i] = std::sin(omega * x[i]);
            }
        }
        Sums sums;
        for (std::size_t i = 0; i < n; ++i) {
            sums.yc += y[i] * c[i];
            sums.ys += y[i] * s[i];
            sums.cc += c[i] * c[i];
            sums.cs += c[i] * s[i];
        }
        power[k] = power_from_sums(sums, static_cast<double>(n));
        for (std::size_t i = 0; i < n; ++i) {
            const double cn = c[i] * dc[i] - s[i] * ds[i];
            s[i] = s[i] * dc[i] + c[i] * ds[i];
            c[i] = cn;
        }
    }
    return power;
}

double power_to_amplitude(double power, std::size_t n) {
    if (n == 0 || !(power > 0.0)) return 0.0;
    return std::sqrt(4.0 * power / static_cast<double>(n));
}

}  // namespace skyrift
