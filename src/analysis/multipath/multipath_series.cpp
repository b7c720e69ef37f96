#include "analysis/multipath/multipath_series.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace skyrift {

namespace {

// Files list epochs in file order; a series must be in time order for arcs and windows.
void sort_by_time(MpSeries& s) {
    if (std::is_sorted(s.times_ms.begin(), s.times_ms.end())) return;
    std::vector<std::size_t> order(s.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return s.times_ms[a] < s.times_ms[b]; });
    MpSeries sorted;
    for (const std::size_t i : order) {
        sorted.times_ms.push_back(s.times_ms[i]);
        sorted.values.push_back(s.values[i]);
        sorted.snr.push_back(s.snr[i]);
        sorted.has_snr.push_back(s.has_snr[i]);
        sorted.track_entries.push_back(s.track_entries[i]);
    }
    s = std::move(sorted);
}

}  // namespace

TrackColumns::TrackColumns(const RinexObsData& obs, const SatelliteTrack& track, std::vector<ObservationCode> codes)
    : codes_(std::move(codes)), entries_(track.entries.size()) {
    std::sort(codes_.begin(), codes_.end());
    codes_.erase(std::unique(codes_.begin(), codes_.end()), codes_.end());
    values_.assign(codes_.size() * entries_, 0.0);
    present_.assign(codes_.size() * entries_, 0);
    for (std::size_t k = 0; k < entries_; ++k) {
        // Both lists are sorted by code: one merge walk per entry.
        std::size_t c = 0;
        for (const ObservationEntry& o : obs.observations_of(obs.satellite_entries[track.entries[k]])) {
            while (c < codes_.size() && codes_[c] < o.code) ++c;
            if (c == codes_.size()) break;
            if (codes_[c] == o.code) {
                values_[c * entries_ + k] = o.value();
                present_[c * entries_ + k] = 1;
            }
        }
    }
}

std::size_t TrackColumns::column_of(ObservationCode code) const {
    const auto at = std::lower_bound(codes_.begin(), codes_.end(), code);
    return at != codes_.end() && *at == code ? static_cast<std::size_t>(at - codes_.begin()) : codes_.size();
}

const double* TrackColumns::values(ObservationCode code) const {
    const std::size_t c = column_of(code);
    return c < codes_.size() ? values_.data() + c * entries_ : nullptr;
}

const uint8_t* TrackColumns::present(ObservationCode code) const {
    const std::size_t c = column_of(code);
    return c < codes_.size() ? present_.data() + c * entries_ : nullptr;
}

std::vector<ObservationCode> codes_of_pair(const MpSignalPair& pair) {
    std::vector<ObservationCode> codes{pair.code, pair.phase, pair.partner};
    if (pair.snr) codes.push_back(*pair.snr);
    return codes;
}

void build_mp_series(const TrackColumns& columns, const SatelliteTrack& track, const MpSignalPair& pair,
                     MpSeries& series) {
    series.clear();
    const double b = 2.0 / (pair.alpha - 1.0);
    const double *p = columns.values(pair.code), *l1 = columns.values(pair.phase), *l2 = columns.values(pair.partner);
    const uint8_t *has_p = columns.present(pair.code), *has_l1 = columns.present(pair.phase),
                  *has_l2 = columns.present(pair.partner);
    const double* snr = pair.snr ? columns.values(*pair.snr) : nullptr;
    const uint8_t* has_snr = pair.snr ? columns.present(*pair.snr) : nullptr;
    for (std::size_t k = 0; k < track.entries.size(); ++k) {
        if (!has_p[k] || !has_l1[k] || !has_l2[k]) continue;
        const double mp = p[k] - (1.0 + b) * pair.wavelength1 * l1[k] + b * pair.wavelength2 * l2[k];
        // The raw value carries the phase ambiguities, which may be anywhere (a phone's
        // accumulated range starts near zero): only a non-finite value is unusable.
        if (!std::isfinite(mp)) continue;
        const bool with_snr = snr && has_snr[k];
        series.times_ms.push_back(track.times_ms[k]);
        series.values.push_back(mp);
        series.snr.push_back(with_snr ? snr[k] : 0.0);
        series.has_snr.push_back(with_snr);
        series.track_entries.push_back(static_cast<uint32_t>(k));
    }
    sort_by_time(series);
}

}  // namespace skyrift
