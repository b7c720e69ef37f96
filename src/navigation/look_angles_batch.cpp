#include "navigation/look_angles_batch.hpp"

#include "utils/time.hpp"

namespace skyrift {

namespace {

template <typename PositionOf>
std::optional<LookAngles> angles_of(PositionOf&& position_of, const LookAngleQuery& q, const Ecef& receiver,
                                    HorizonRule horizon) {
    const auto position = position_of(q.satellite, epoch_from_ms(q.time_ms));
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

LookAngleBatch compute_look_angles(OrbitCursor& cursor, std::span<const LookAngleQuery> queries, const Ecef& receiver,
                                   HorizonRule horizon) {
    const OrbitCursor::Served before = cursor.served();
    LookAngleBatch out = look_angles_with([&](const Satellite& s, const Epoch& e) { return cursor.position(s, e); },
                                          queries, receiver, horizon);
    for (std::size_t s = 0; s < out.served.size(); ++s) {
        for (std::size_t k = 0; k < 2; ++k) out.served[s][k] = cursor.served()[s][k] - before[s][k];
    }
    return out;
}

LookAngleBatch compute_look_angles(const OrbitSource& orbit, std::span<const LookAngleQuery> queries,
                                   const Ecef& receiver, HorizonRule horizon) {
    OrbitCursor cursor(orbit);
    return compute_look_angles(cursor, queries, receiver, horizon);
}

LookAngleBatch compute_look_angles_unindexed(const OrbitSource& orbit, std::span<const LookAngleQuery> queries,
                                             const Ecef& receiver) {
    return look_angles_with([&](const Satellite& s, const Epoch& e) { return orbit.position(s, e); }, queries,
                            receiver);
}

}  // namespace skyrift
