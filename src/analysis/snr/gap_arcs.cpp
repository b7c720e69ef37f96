#include "analysis/snr/gap_arcs.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace skyrift {

std::vector<GapArc> split_at_gaps(std::span<const double> times, double dt, double gap_factor) {
    std::vector<GapArc> arcs;
    if (times.empty()) return arcs;
    const double limit = gap_factor * dt;
    std::size_t start = 0;
    for (std::size_t j = 1; j < times.size(); ++j) {
        if (limit < times[j] - times[j - 1]) {
            arcs.emplace_back(start, j);
            start = j;
        }
    }
    arcs.emplace_back(start, times.size());
    return arcs;
}

namespace {

// IEEE-754 totalOrder key: negative NaNs, −∞ … −0, +0 … +∞, positive NaNs.
int64_t total_order_key(double x) {
    int64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits ^ static_cast<int64_t>(static_cast<uint64_t>(bits >> 63) >> 1);
}

}  // namespace

std::optional<double> median_interval(std::span<const double> times) {
    if (times.size() < 2) return std::nullopt;
    std::vector<double> d(times.size() - 1);
    for (std::size_t i = 0; i + 1 < times.size(); ++i) d[i] = times[i + 1] - times[i];
    std::sort(d.begin(), d.end(),
              [](double a, double b) { return total_order_key(a) < total_order_key(b); });
    const std::size_t m = d.size();
    if (m % 2 == 1) return d[m / 2];
    return (d[m / 2 - 1] + d[m / 2]) * 0.5;
}

}  // namespace skyrift
