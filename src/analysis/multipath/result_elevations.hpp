#pragma once
// Real look angles for the estimates of an analysis, from a precise or broadcast orbit.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "analysis/multipath/multipath_results.hpp"
#include "navigation/look_angles_batch.hpp"
#include "navigation/orbit_source.hpp"
#include "navigation/sp3_data.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

struct ElevationCounts {
    std::size_t computed = 0;
    std::size_t failed = 0;  // computed + failed == number of estimates
    OrbitCursor::Served served{};  // which orbit gave the positions, per system (one per satellite and epoch)
};

// The look-angle queries of estimates, one per satellite entry (a satellite at one epoch
// of the observation data): the signals of an entry share its angles, so each entry is
// asked once however many estimates it has.
class EntryQueries {
public:
    explicit EntryQueries(std::size_t entries) : query_of_entry_(entries, kNone) {}
    // The index of the entry's query, added when the entry is new.
    uint32_t ask(uint32_t entry, Satellite satellite, int64_t time_ms) {
        uint32_t& query = query_of_entry_[entry];
        if (query == kNone) {
            query = static_cast<uint32_t>(queries_.size());
            queries_.push_back({satellite, time_ms});
        }
        return query;
    }
    // The query of an entry already asked.
    uint32_t operator[](uint32_t entry) const { return query_of_entry_[entry]; }
    std::span<const LookAngleQuery> queries() const { return queries_; }

private:
    static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
    std::vector<uint32_t> query_of_entry_;
    std::vector<LookAngleQuery> queries_;
};

// Look angles per estimate, asked once per satellite entry of the observation data
// (every signal of one satellite at one epoch shares them): one typed query per entry,
// and an index from each estimate to its query.
struct EstimateAngles {
    std::vector<std::optional<LookAngles>> angles;  // per query
    std::vector<uint32_t> of_estimate;              // index into `angles`, per estimate
    OrbitCursor::Served served{};                   // which orbit gave the positions (per query)
    const std::optional<LookAngles>& operator[](std::size_t estimate) const { return angles[of_estimate[estimate]]; }
};

// The one place where the multipath results consult an orbit: angles of every estimate
// from `receiver`, absent where no position is known (and, AboveOnly, at or below the
// horizon).
EstimateAngles estimate_look_angles(std::span<const EstimateRecord> estimates, const OrbitSource& orbit,
                                    const Ecef& receiver, HorizonRule horizon);

// Every estimate whose satellite is strictly above the horizon gets its azimuth and
// elevation and counts as positioned; the others keep theirs. When any was computed,
// the weighted RMS of the statistics is refreshed from the positioned estimates.
ElevationCounts compute_result_elevations(AnalysisOutput& output, const OrbitSource& orbit, const Ecef& receiver);
inline ElevationCounts compute_result_elevations(AnalysisOutput& output, const Sp3Data& sp3, const Ecef& receiver) {
    return compute_result_elevations(output, OrbitSource{&sp3, nullptr}, receiver);
}

}  // namespace skyrift
