#include "analysis/multipath/multipath_arcs.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace skyrift {

namespace {

double seconds_between(int64_t earlier_ms, int64_t later_ms) {
    return static_cast<double>(later_ms - earlier_ms) / 1000.0;
}

bool keep_arc(std::span<const int64_t> times_ms, MultipathArc arc, const MultipathArcRules& rules) {
    if (arc.end - arc.begin < rules.min_points) return false;
    return !(seconds_between(times_ms[arc.begin], times_ms[arc.end - 1]) < rules.min_arc_seconds);
}

// Half window in integer milliseconds: saturating, NaN gives 0.
int64_t half_window_ms(double window_seconds) {
    const double h = window_seconds * 500.0;
    if (std::isnan(h)) return 0;
    if (h >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
    if (h <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(h);
}

int64_t saturating_add(int64_t a, int64_t b) {
    int64_t r;
    if (!__builtin_add_overflow(a, b, &r)) return r;
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

int64_t saturating_sub(int64_t a, int64_t b) {
    int64_t r;
    if (!__builtin_sub_overflow(a, b, &r)) return r;
    return b > 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
}

// Prefix sums and two forward cursors: linear in the arc length.
void subtract_moving_mean(std::span<const int64_t> t, std::span<const double> x, int64_t half,
                          std::span<double> out) {
    const std::size_t n = x.size();
    std::vector<double> prefix(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i) prefix[i + 1] = prefix[i] + x[i];
    std::size_t lo = 0, hi = 0;
    for (std::size_t j = 0; j < n; ++j) {
        const int64_t from = saturating_sub(t[j], half), to = saturating_add(t[j], half);
        while (lo < j && t[lo] < from) ++lo;
        if (hi < j) hi = j;
        while (hi + 1 < n && t[hi + 1] <= to) ++hi;
        out[j] = x[j] - (prefix[hi + 1] - prefix[lo]) / static_cast<double>(hi - lo + 1);
    }
}

}  // namespace

MultipathArcSplit split_multipath_arcs(std::span<const int64_t> times_ms, std::span<const double> values,
                                       std::span<const int64_t> slip_times, const MultipathArcRules& rules) {
    MultipathArcSplit split;
    const std::size_t n = values.size();
    if (n == 0) return split;
    std::size_t start = 0;
    ArcStart cause = ArcStart::SeriesStart;
    auto slip = slip_times.begin();
    for (std::size_t i = 1; i < n; ++i) {
        // A slip since the previous point counts even when it fell on an epoch without a
        // point of this series (its code or partner phase missing there).
        slip = std::upper_bound(slip, slip_times.end(), times_ms[i - 1]);
        const bool slipped = slip != slip_times.end() && *slip <= times_ms[i];
        const bool gap = seconds_between(times_ms[i - 1], times_ms[i]) > rules.gap_seconds;
        const bool jump = std::fabs(values[i] - values[i - 1]) > rules.jump_limit;
        if (slipped) ++split.slip_breaks;
        if (!(slipped || gap || jump)) continue;
        if (keep_arc(times_ms, {start, i}, rules)) split.kept.push_back({start, i, cause});
        start = i;
        cause = slipped ? ArcStart::Slip : gap ? ArcStart::Gap : ArcStart::Jump;
    }
    if (keep_arc(times_ms, {start, n}, rules)) split.kept.push_back({start, n, cause});
    return split;
}

void remove_arc_bias(std::span<const int64_t> times_ms, std::span<const double> values,
                     std::optional<double> window_seconds, std::span<double> residuals) {
    const std::size_t n = values.size();
    if (n == 0) return;
    const double duration = seconds_between(times_ms.front(), times_ms.back());
    if (window_seconds && *window_seconds > 0.0 && duration > *window_seconds) {
        subtract_moving_mean(times_ms, values, half_window_ms(*window_seconds), residuals);
        return;
    }
    double sum = 0.0;
    for (const double x : values) sum += x;
    const double mean = sum / static_cast<double>(n);
    for (std::size_t j = 0; j < n; ++j) residuals[j] = values[j] - mean;
}

}  // namespace skyrift
