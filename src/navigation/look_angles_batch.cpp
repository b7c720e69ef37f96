#include "navigation/look_angles_batch.hpp"

#include <unordered_map>

#include "utils/time.hpp"
#include "utils/worker_pool.hpp"

namespace skyrift {

namespace {

template <typename PositionOf>
std::optional<LookAngles> angles_of(PositionOf&& position_of, const LookAngleQuery& q, const LookAngleFrame& frame,
                                    HorizonRule horizon) {
    const auto position = position_of(q.satellite, epoch_from_ms(q.time_ms));
    if (!position) return std::nullopt;
    const LookAngles a = frame(*position);
    if (horizon == HorizonRule::AboveOnly && !(a.elevation > 0.0)) return std::nullopt;
    return a;
}

template <typename PositionOf>
LookAngleBatch look_angles_with(PositionOf&& position_of, std::span<const LookAngleQuery> queries, const Ecef& receiver,
                                HorizonRule horizon = HorizonRule::AboveOnly) {
    LookAngleBatch out;
    out.angles.reserve(queries.size());
    const LookAngleFrame frame(receiver);
    for (const LookAngleQuery& q : queries) {
        const auto angles = angles_of(position_of, q, frame, horizon);
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

namespace {

// Below this many queries one cursor on the calling thread beats the pool.
constexpr std::size_t kParallelQueries = 4096;

// Query indices grouped by satellite, groups in order of first appearance.
std::vector<std::vector<uint32_t>> queries_by_satellite(std::span<const LookAngleQuery> queries) {
    std::vector<std::vector<uint32_t>> groups;
    std::unordered_map<Satellite, std::size_t> group_of;
    std::size_t last = 0;
    for (uint32_t i = 0; i < queries.size(); ++i) {
        // Callers list a satellite's queries together, so the previous group is tried first.
        if (groups.empty() || !(queries[groups[last].front()].satellite == queries[i].satellite)) {
            const auto [it, fresh] = group_of.try_emplace(queries[i].satellite, groups.size());
            if (fresh) groups.emplace_back();
            last = it->second;
        }
        groups[last].push_back(i);
    }
    return groups;
}

}  // namespace

LookAngleBatch compute_look_angles(const OrbitSource& orbit, std::span<const LookAngleQuery> queries,
                                   const Ecef& receiver, HorizonRule horizon) {
    if (queries.size() < kParallelQueries) {
        OrbitCursor cursor(orbit);
        return compute_look_angles(cursor, queries, receiver, horizon);
    }
    // One satellite per pool task, each with a cursor of its own: a position does not
    // depend on the cursor nor on the order of the queries, so the angles are those of
    // one cursor over the whole list.
    const auto groups = queries_by_satellite(queries);
    const LookAngleFrame frame(receiver);
    LookAngleBatch out;
    out.angles.resize(queries.size());
    std::vector<LookAngleBatch> parts = parallel_map(groups.size(), [&](std::size_t g) {
        OrbitCursor cursor(orbit);
        LookAngleBatch part;
        for (const uint32_t i : groups[g]) {
            const auto angles = angles_of([&](const Satellite& s, const Epoch& e) { return cursor.position(s, e); },
                                          queries[i], frame, horizon);
            ++(angles ? part.computed : part.failed);
            out.angles[i] = angles;
        }
        part.served = cursor.served();
        return part;
    });
    for (const LookAngleBatch& part : parts) {
        out.computed += part.computed;
        out.failed += part.failed;
        for (std::size_t s = 0; s < out.served.size(); ++s)
            for (std::size_t k = 0; k < 2; ++k) out.served[s][k] += part.served[s][k];
    }
    return out;
}

LookAngleBatch compute_look_angles_unindexed(const OrbitSource& orbit, std::span<const LookAngleQuery> queries,
                                             const Ecef& receiver) {
    return look_angles_with([&](const Satellite& s, const Epoch& e) { return orbit.position(s, e); }, queries,
                            receiver);
}

}  // namespace skyrift
