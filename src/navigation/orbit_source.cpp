#include "navigation/orbit_source.hpp"

#include "navigation/orbit_interpolation.hpp"

namespace skyrift {

std::optional<Ecef> OrbitSource::position(const Satellite& satellite, const Epoch& epoch) const {
    if (precise) {
        if (auto p = interpolate_position(*precise, satellite, epoch)) return p;
    }
    if (broadcast) return broadcast_position(*broadcast, satellite, epoch);
    return std::nullopt;
}

bool OrbitSource::knows(const Satellite& satellite) const {
    return (precise && precise->find(satellite)) || (broadcast && broadcast->find(satellite));
}

OrbitCursor::OrbitCursor(const OrbitSource& source) : source_(source) {
    if (source.precise) sp3_index_.resize(source.precise->orbits.size());
    if (source.broadcast) broadcast_.emplace(*source.broadcast);
}

std::optional<Ecef> OrbitCursor::precise_position(const Satellite& satellite, const Epoch& epoch) {
    const SatelliteRecords* o = source_.precise->find(satellite);
    if (!o) return std::nullopt;
    auto& slot = sp3_index_[static_cast<std::size_t>(o - source_.precise->orbits.data())];
    if (!slot) slot.emplace(o->records);
    return slot->position(epoch);
}

std::optional<Ecef> OrbitCursor::position(const Satellite& satellite, const Epoch& epoch) {
    auto& served = served_[static_cast<std::size_t>(satellite.system)];
    if (source_.precise) {
        if (auto p = precise_position(satellite, epoch)) {
            ++served[static_cast<std::size_t>(OrbitKind::Precise)];
            return p;
        }
    }
    if (broadcast_) {
        if (auto p = broadcast_->position(satellite, epoch)) {
            ++served[static_cast<std::size_t>(OrbitKind::Broadcast)];
            return p;
        }
    }
    return std::nullopt;
}

}  // namespace skyrift
