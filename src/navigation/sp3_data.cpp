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

}  // namespace skyrift
