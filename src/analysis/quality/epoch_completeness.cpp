#include "analysis/quality/epoch_completeness.hpp"

#include <algorithm>
#include <cmath>

namespace skyrift {

namespace {

// A span a whisker short of a whole number of intervals still counts it whole.
constexpr double kIntervalSlack = 1e-6;

}  // namespace

uint64_t expected_epoch_count(double span_seconds, double interval) {
    return static_cast<uint64_t>(std::floor(span_seconds / interval + kIntervalSlack)) + 1;
}

EpochCompleteness epoch_completeness(const RinexObsData& obs, const std::vector<uint32_t>& epochs,
                                     std::optional<double> interval, double gap_seconds) {
    std::vector<int64_t> times;
    times.reserve(epochs.size());
    for (const uint32_t e : epochs) times.push_back(obs.epochs[e].instant_ms);
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());

    EpochCompleteness out;
    out.present = times.size();
    if (times.empty() || !interval) return out;
    const double span = static_cast<double>(times.back() - times.front()) / 1000.0;
    out.expected = expected_epoch_count(span, *interval);
    out.completeness = 100.0 * static_cast<double>(out.present) / static_cast<double>(*out.expected);
    for (std::size_t i = 1; i < times.size(); ++i) {
        const double step = static_cast<double>(times[i] - times[i - 1]) / 1000.0;
        if (step <= 1.5 * *interval) continue;
        if (step > gap_seconds) {
            out.gaps.push_back({times[i - 1], times[i]});
        } else {
            ++out.holes;
        }
    }
    return out;
}

}  // namespace skyrift
