#include "analysis/common/epoch_sampling.hpp"

#include <algorithm>
#include <cmath>

namespace skyrift {

std::vector<uint32_t> analysed_epochs(std::size_t num_epochs, std::optional<uint64_t> max_epochs) {
    uint64_t step = 1;
    if (max_epochs && *max_epochs > 0 && num_epochs > *max_epochs)
        step = (num_epochs + *max_epochs - 1) / *max_epochs;
    std::vector<uint32_t> indices;
    indices.reserve(num_epochs / step + 1);
    for (uint64_t i = 0; i < num_epochs; i += step) indices.push_back(static_cast<uint32_t>(i));
    return indices;
}

double sampling_interval(const RinexObsData& obs, const std::vector<uint32_t>& epochs) {
    constexpr std::size_t kSampled = 101;
    constexpr double kFloor = 0.001;
    std::vector<double> spacings;
    const std::size_t n = std::min(epochs.size(), kSampled);
    for (std::size_t i = 1; i < n; ++i) {
        const int64_t later = obs.epochs[epochs[i]].instant_ms;
        const int64_t earlier = obs.epochs[epochs[i - 1]].instant_ms;
        const double dt = static_cast<double>(later - earlier) / 1000.0;
        if (std::fabs(dt) > 1e-6) spacings.push_back(dt);
    }
    double interval = 30.0;
    if (!spacings.empty()) {
        const auto middle = spacings.begin() + static_cast<std::ptrdiff_t>(spacings.size() / 2);
        std::nth_element(spacings.begin(), middle, spacings.end());
        interval = *middle;
    } else if (obs.header.interval) {
        interval = *obs.header.interval;
    }
    return interval > kFloor ? interval : kFloor;  // NaN fails the comparison too
}

double gap_threshold(double arc_gap_factor, double interval) {
    const double product = arc_gap_factor * interval;
    if (std::isnan(product)) return product;
    return std::max(product, interval + 0.001);
}

}  // namespace skyrift
