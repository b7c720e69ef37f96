#include "analysis/reflector/reflector_daily.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace skyrift {

namespace {

double median_of_sorted(const std::vector<double>& v) {
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace

std::vector<DailyHeight> daily_heights(std::span<const double> times, std::span<const double> heights,
                                       double median_filter, std::size_t min_tracks) {
    std::vector<std::pair<int64_t, double>> by_day;
    const std::size_t n = std::min(times.size(), heights.size());
    by_day.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(times[i]) || !std::isfinite(heights[i])) continue;
        const double day = std::floor(times[i] / 86400.0);
        if (std::fabs(day) > 1e15) continue;  // beyond any calendar
        by_day.emplace_back(static_cast<int64_t>(day), heights[i]);
    }
    std::sort(by_day.begin(), by_day.end());
    std::vector<DailyHeight> out;
    for (std::size_t first = 0; first < by_day.size();) {
        std::size_t last = first;
        while (last < by_day.size() && by_day[last].first == by_day[first].first) ++last;
        std::vector<double> day_heights;
        for (std::size_t i = first; i < last; ++i) day_heights.push_back(by_day[i].second);  // sorted already
        const double median = median_of_sorted(day_heights);
        std::vector<double> kept;
        for (double h : day_heights)
            if (std::fabs(h - median) <= median_filter) kept.push_back(h);
        if (!kept.empty() && kept.size() >= min_tracks) {
            DailyHeight d;
            d.day = by_day[first].first;
            d.count = kept.size();
            double sum = 0.0;
            for (double h : kept) sum += h;
            d.mean = sum / static_cast<double>(kept.size());
            d.median = median_of_sorted(kept);
            double ss = 0.0;
            for (double h : kept) ss += (h - d.mean) * (h - d.mean);
            d.std = kept.size() > 1 ? std::sqrt(ss / static_cast<double>(kept.size() - 1))
                                    : std::numeric_limits<double>::quiet_NaN();
            out.push_back(d);
        }
        first = last;
    }
    return out;
}

}  // namespace skyrift
