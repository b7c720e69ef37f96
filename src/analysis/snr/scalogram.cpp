#include "analysis/snr/scalogram.hpp"

#include <algorithm>
#include <string>

#include "analysis/snr/gap_arcs.hpp"
#include "analysis/snr/morlet.hpp"

namespace skyrift {

namespace {
constexpr std::size_t kMinArcSamples = 40;
constexpr double kGapFactor = 5.0;
constexpr double kConfidence = 0.95;
}  // namespace

Result<Scalogram> scalogram(std::span<const double> t, std::span<const double> values,
                            double interval, std::size_t max_columns) {
    if (t.size() != values.size()) {
        return GnssError::other("t and values must have the same length");
    }
    const std::size_t columns = std::max<std::size_t>(max_columns, 1);
    const std::vector<GapArc> arcs = split_at_gaps(t, interval, kGapFactor);
    // The earliest of equally long arcs wins: max_element keeps the first maximum.
    const auto longest = std::max_element(arcs.begin(), arcs.end(), [](const GapArc& a, const GapArc& b) {
        return a.second - a.first < b.second - b.first;
    });
    if (longest == arcs.end() || longest->second - longest->first < kMinArcSamples) {
        return GnssError::other("series too short for a scalogram (< " + std::to_string(kMinArcSamples) + " samples)");
    }
    const auto [start, stop] = *longest;
    const std::size_t length = stop - start;
    const std::span<const double> arc_t = t.subspan(start, length);
    const std::span<const double> arc_v = values.subspan(start, length);

    const double dt = median_interval(arc_t).value_or(interval);
    Result<WaveletTransform> wt = morlet_transform(arc_v, dt, kDefaultScaleSpacing, std::nullopt);
    if (!wt) return wt.error();

    Scalogram out;
    out.interval = dt;
    out.periods = wt->periods;
    Result<std::vector<double>> significance = red_noise_significance(arc_v, dt, wt->periods, kConfidence);
    if (!significance) return significance.error();
    out.significance = std::move(*significance);
    const std::size_t step = std::max<std::size_t>(length / columns, 1);
    for (std::size_t i = 0; i < length; i += step) {
        out.t.push_back(arc_t[i]);
        out.coi.push_back(wt->coi[i]);
    }
    out.power.reserve(wt->power.size());
    for (const std::vector<double>& row : wt->power) {
        std::vector<double> kept;
        kept.reserve(out.t.size());
        for (std::size_t i = 0; i < length; i += step) kept.push_back(row[i]);
        out.power.push_back(std::move(kept));
    }
    return out;
}

}  // namespace skyrift
