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

// Finds one code in successive entries of a satellite. The layout of a satellite's
// observations rarely changes from epoch to epoch, so the previous position is tried
// first and the binary search is the fallback.
class CodeCursor {
public:
    explicit CodeCursor(ObservationCode code) : code_(code) {}

    const ObservationEntry* find(const RinexObsData& obs, const SatelliteEntry& entry) {
        const auto all = obs.observations_of(entry);
        if (position_ < all.size() && all[position_].code == code_) return &all[position_];
        const ObservationEntry* found = obs.find_observation(entry, code_);
        if (found) position_ = static_cast<std::size_t>(found - all.data());
        return found;
    }

private:
    ObservationCode code_;
    std::size_t position_ = 0;
};

}  // namespace

void build_mp_series(const RinexObsData& obs, const SatelliteTrack& track, const MpSignalPair& pair,
                     MpSeries& series) {
    series.clear();
    const double b = 2.0 / (pair.alpha - 1.0);
    CodeCursor code(pair.code), phase(pair.phase), partner(pair.partner), snr_code(pair.snr.value_or(pair.code));
    for (std::size_t k = 0; k < track.entries.size(); ++k) {
        const SatelliteEntry& entry = obs.satellite_entries[track.entries[k]];
        const ObservationEntry* p = code.find(obs, entry);
        const ObservationEntry* l1 = phase.find(obs, entry);
        const ObservationEntry* l2 = partner.find(obs, entry);
        if (!p || !l1 || !l2) continue;
        const double mp = p->value() - (1.0 + b) * pair.wavelength1 * l1->value() + b * pair.wavelength2 * l2->value();
        // The raw value carries the phase ambiguities, which may be anywhere (a phone's
        // accumulated range starts near zero): only a non-finite value is unusable.
        if (!std::isfinite(mp)) continue;
        const ObservationEntry* snr = pair.snr ? snr_code.find(obs, entry) : nullptr;
        series.times_ms.push_back(track.times_ms[k]);
        series.values.push_back(mp);
        series.snr.push_back(snr ? snr->value() : 0.0);
        series.has_snr.push_back(snr != nullptr);
        series.track_entries.push_back(static_cast<uint32_t>(k));
    }
    sort_by_time(series);
}

}  // namespace skyrift
