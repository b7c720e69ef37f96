#include "analysis/multipath/multipath_stats.hpp"

#include <cmath>
#include <limits>
#include <unordered_map>

#include "analysis/multipath/signal_pairs.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

double elevation_weight(double elevation_degrees) {
    if (elevation_degrees >= 30.0) return 1.0;
    if (elevation_degrees > 0.0) {
        const double s = std::sin(elevation_degrees * kRadPerDeg);
        return 1.0 / (4.0 * (s * s));
    }
    return 0.0;
}

double estimate_weight(const EstimateRecord& e) {
    // Without an orbit position the elevation is unknown: weight 0, as for NaN.
    return e.positioned ? elevation_weight(e.elevation) : 0.0;
}

namespace {

struct WeightedSums {
    double wxx = 0.0, w = 0.0;
    void add(const EstimateRecord& e) {
        const double weight = estimate_weight(e);
        wxx += weight * (e.mp_value * e.mp_value);
        w += weight;
    }
};

}  // namespace

StatsRecord compute_statistics(std::string key, std::span<const EstimateRecord> estimates,
                               uint64_t cycle_slips, bool elevation_weighting) {
    StatsRecord s;
    s.signal = std::move(key);
    const double n = static_cast<double>(estimates.size());
    double sum = 0.0, sum_squares = 0.0;
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    WeightedSums weighted;
    for (const EstimateRecord& e : estimates) {
        sum += e.mp_value;
        sum_squares += e.mp_value * e.mp_value;
        lo = std::fmin(lo, e.mp_value);
        hi = std::fmax(hi, e.mp_value);
        weighted.add(e);
    }
    s.mean = sum / n;
    double deviations = 0.0;
    for (const EstimateRecord& e : estimates) deviations += (e.mp_value - s.mean) * (e.mp_value - s.mean);
    s.std_dev = std::sqrt(deviations / n);
    s.rms = std::sqrt(sum_squares / n);
    s.min = lo;
    s.max = hi;
    s.weighted_rms = elevation_weighting && weighted.w > 0.0 ? std::sqrt(weighted.wxx / weighted.w) : s.rms;
    s.system = estimates.front().satellite.system;
    s.code = estimates.front().signal;
    s.cycle_slips = cycle_slips;
    s.count = estimates.size();
    return s;
}

void refresh_weighted_rms(std::span<const EstimateRecord> estimates, std::vector<StatsRecord>& statistics) {
    std::unordered_map<std::string, WeightedSums> sums;
    WeightedSums* current = nullptr;  // estimates come grouped by key: look each group up once
    const EstimateRecord* previous = nullptr;
    for (const EstimateRecord& e : estimates) {
        if (!previous || previous->satellite.system != e.satellite.system || previous->signal != e.signal)
            current = &sums[series_key(e.satellite.system, e.signal)];
        current->add(e);
        previous = &e;
    }
    for (StatsRecord& s : statistics) {
        const auto it = sums.find(s.signal);
        if (it != sums.end() && it->second.w > 0.0) s.weighted_rms = std::sqrt(it->second.wxx / it->second.w);
    }
}

}  // namespace skyrift
