#pragma once
// Look angles for a list of (satellite, instant) queries, the geometry step of
// AnalysisResults.compute_elevations and of the analyzer's orbit. Pure C++: safe to run
// without the GIL.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "navigation/orbit_source.hpp"
#include "navigation/sp3_data.hpp"
#include "rinex/types.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

// One satellite at one instant, as integer milliseconds on the time line (instant_ms):
// plain numbers, so a caller can key its queries and ask each (satellite, instant) once.
struct LookAngleQuery {
    Satellite satellite;
    int64_t time_ms = 0;
};

// Whether angles at or below the horizon count: compute_elevations stores only angles
// strictly above it; the analyzer's elevation cutoff needs every position's angles.
enum class HorizonRule : uint8_t { AboveOnly, Any };

struct LookAngleBatch {
    // One entry per query, in query order: the angles, absent when no position can be
    // interpolated or (AboveOnly) the elevation is <= 0.
    std::vector<std::optional<LookAngles>> angles;
    std::size_t computed = 0;
    std::size_t failed = 0;  // computed + failed == number of queries
    OrbitCursor::Served served{};  // which orbit gave the positions, per system
};

// Positions from the orbit source through OrbitCursors (SP3 records indexed by time per
// satellite on first use, see sorted_orbit.hpp); a long list is split by satellite over
// the worker pool, one cursor per task, with the angles of a single cursor.
LookAngleBatch compute_look_angles(const OrbitSource& orbit, std::span<const LookAngleQuery> queries,
                                   const Ecef& receiver, HorizonRule horizon = HorizonRule::AboveOnly);
// Through a cursor the caller keeps, so that several batches share its caches.
LookAngleBatch compute_look_angles(OrbitCursor& cursor, std::span<const LookAngleQuery> queries, const Ecef& receiver,
                                   HorizonRule horizon = HorizonRule::AboveOnly);
inline LookAngleBatch compute_look_angles(const Sp3Data& sp3, std::span<const LookAngleQuery> queries,
                                          const Ecef& receiver, HorizonRule horizon = HorizonRule::AboveOnly) {
    return compute_look_angles(OrbitSource{&sp3, nullptr}, queries, receiver, horizon);
}

// The same rule with one uncached OrbitSource::position() per query (a full
// interpolate_position(), a GLONASS integration from scratch): the reference the
// cached version must match bit for bit (checked by tests and the orbit benchmark).
LookAngleBatch compute_look_angles_unindexed(const OrbitSource& orbit, std::span<const LookAngleQuery> queries,
                                             const Ecef& receiver);
inline LookAngleBatch compute_look_angles_unindexed(const Sp3Data& sp3, std::span<const LookAngleQuery> queries,
                                                    const Ecef& receiver) {
    return compute_look_angles_unindexed(OrbitSource{&sp3, nullptr}, queries, receiver);
}

}  // namespace skyrift
