#include "navigation/sp3_data.hpp"

#include <algorithm>

namespace skyrift {

const SatelliteRecords* Sp3Data::find(const Satellite& satellite) const {
    const auto it = std::lower_bound(orbits.begin(), orbits.end(), satellite,
                                     [](const SatelliteRecords& o, const Satellite& s) { return o.satellite < s; });
    if (it == orbits.end() || !(it->satellite == satellite)) return nullptr;
    return &*it;
}

std::vector<Satellite> Sp3Data::satellites() const {
    std::vector<Satellite> out;
    out.reserve(orbits.size());
    for (const auto& o : orbits) out.push_back(o.satellite);
    return out;
}

std::optional<std::pair<Epoch, Epoch>> Sp3Data::time_span() const {
    std::optional<std::pair<Epoch, Epoch>> span;
    for (const auto& o : orbits) {
        for (const Sp3Record& r : o.records) {
            if (!span) span.emplace(r.epoch, r.epoch);
            else if (epoch_before(r.epoch, span->first)) span->first = r.epoch;
            else if (epoch_before(span->second, r.epoch)) span->second = r.epoch;
        }
    }
    return span;
}

}  // namespace skyrift
