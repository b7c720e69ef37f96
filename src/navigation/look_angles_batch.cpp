#include "navigation/look_angles_batch.hpp"

#include "navigation/orbit_interpolation.hpp"
#include "navigation/sorted_orbit.hpp"
#include "utils/time.hpp"

namespace skyrift {

namespace {

// Time-indexed records, built on the first query of each satellite.
class OrbitCache {
public:
    explicit OrbitCache(const Sp3Data& sp3) : sp3_(sp3), orbits_(sp3.orbits.size()) {}

    std::optional<Ecef> position(const Satellite& satellite, const Epoch& epoch) {
        const SatelliteRecords* o = sp3_.find(satellite);
        if (!o) return std::nullopt;
        auto& slot = orbits_[static_cast<std::size_t>(o - sp3_.orbits.data())];
        if (!slot) slot.emplace(o->records);
        return slot->position(epoch);
    }

private:
    const Sp3Data& sp3_;
    std::vector<std::optional<SortedOrbit>> orbits_;
};

template <typename PositionOf>
std::optional<LookAngles> angles_of(PositionOf&& position_of, const LookAngleQuery& q, const Ecef& receiver,
                                    HorizonRule horizon) {
    const auto satellite = parse_satellite_id(q.satellite);
    if (!satellite) return std::nullopt;
    const auto epoch = parse_epoch(q.epoch);
    if (!epoch) return std::nullopt;
    const auto position = position_of(*satellite, *epoch);
    if (!position) return std::nullopt;
    const LookAngles a = calculate_azel(receiver, *position);
    if (horizon == HorizonRule::AboveOnly && !(a.elevation > 0.0)) return std::nullopt;
    return a;
}

template <typename PositionOf>
LookAngleBatch look_angles_with(PositionOf&& position_of, std::span<const LookAngleQuery> queries, const Ecef& receiver,
                                HorizonRule horizon = HorizonRule::AboveOnly) {
    LookAngleBatch out;
    out.angles.reserve(queries.size());
    for (const LookAngleQuery& q : queries) {
        const auto angles = angles_of(position_of, q, receiver, horizon);
        ++(angles ? out.computed : out.failed);
        out.angles.push_back(angles);
    }
    return out;
}

}  // namespace

LookAngleBatch compute_look_angles(const Sp3Data& sp3, std::span<const LookAngleQuery> queries, const Ecef& receiver,
                                   HorizonRule horizon) {
    OrbitCache cache(sp3);
    return look_angles_with([&](const Satellite& s, const Epoch& e) { return cache.position(s, e); }, queries, receiver,
                            horizon);
}

LookAngleBatch compute_look_angles_unindexed(const Sp3Data& sp3, std::span<const LookAngleQuery> queries,
                                             const Ecef& receiver) {
    return look_angles_with([&](const Satellite& s, const Epoch& e) { return interpolate_position(sp3, s, e); },
                            queries, receiver);
}

}  // namespace skyrift
