#include "analysis/quality/file_facts.hpp"

#include <algorithm>

#include "analysis/common/epoch_sampling.hpp"
#include "utils/text.hpp"

namespace skyrift {

std::vector<uint32_t> observation_epochs(const RinexObsData& obs) {
    std::vector<uint32_t> out;
    out.reserve(obs.epochs.size());
    for (uint32_t i = 0; i < obs.epochs.size(); ++i) {
        const EpochRecord& e = obs.epochs[i];
        if (e.flag <= 1 && e.num_satellites > 0) out.push_back(i);
    }
    return out;
}

FileFacts file_facts(const RinexObsData& obs, const std::vector<uint32_t>& epochs) {
    const RinexHeader& h = obs.header;
    FileFacts f;
    f.station = std::string(trim_ascii(h.marker_name));
    f.marker_number = std::string(trim_ascii(h.marker_number));
    f.receiver_type = std::string(trim_ascii(h.receiver_type));
    f.receiver_number = std::string(trim_ascii(h.receiver_number));
    f.antenna_type = std::string(trim_ascii(h.antenna_type));
    f.version = h.version.text();
    f.damage = obs.damage;
    f.header_interval = h.interval;  // as RinexObsData.header_interval gives it, even 0
    if (epochs.size() >= 2) {
        // The spacing the multipath analysis takes: the upper median of the first spacings.
        f.observed_interval = sampling_interval(obs, epochs);
    }
    f.interval = h.interval && *h.interval > 0.0 ? h.interval : f.observed_interval;
    if (!epochs.empty()) {
        const auto [lo, hi] = std::minmax_element(epochs.begin(), epochs.end(), [&](uint32_t a, uint32_t b) {
            return obs.epochs[a].instant_ms < obs.epochs[b].instant_ms;
        });
        f.first_ms = obs.epochs[*lo].instant_ms;
        f.last_ms = obs.epochs[*hi].instant_ms;
        f.span_seconds = static_cast<double>(*f.last_ms - *f.first_ms) / 1000.0;
    }
    return f;
}

}  // namespace skyrift
