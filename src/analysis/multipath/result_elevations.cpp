#include "analysis/multipath/result_elevations.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "analysis/multipath/multipath_stats.hpp"
#include "navigation/look_angles_batch.hpp"

namespace skyrift {

namespace {

struct GeometryQuery {
    Satellite satellite;
    int64_t time_ms;
};

// The geometry works from the texts an estimate shows: its satellite id and ISO epoch.
// Asked in blocks, so that the texts of a long day never all exist at once.
std::vector<std::optional<LookAngles>> look_angles(const std::vector<GeometryQuery>& queries, OrbitCursor& cursor,
                                                   const Ecef& receiver, HorizonRule horizon) {
    constexpr std::size_t kBlock = 1 << 16;
    std::vector<std::optional<LookAngles>> angles;
    angles.reserve(queries.size());
    std::vector<std::string> ids, epochs;
    std::vector<LookAngleQuery> block;
    for (std::size_t first = 0; first < queries.size(); first += kBlock) {
        const std::size_t last = std::min(queries.size(), first + kBlock);
        ids.clear();
        epochs.clear();
        block.clear();
        for (std::size_t q = first; q < last; ++q) {
            ids.push_back(queries[q].satellite.id());
            epochs.push_back(iso_text_from_ms(queries[q].time_ms));
        }
        for (std::size_t i = 0; i < ids.size(); ++i) block.push_back({ids[i], epochs[i]});
        LookAngleBatch batch = compute_look_angles(cursor, block, receiver, horizon);
        angles.insert(angles.end(), batch.angles.begin(), batch.angles.end());
    }
    return angles;
}

}  // namespace

EstimateAngles estimate_look_angles(std::span<const EstimateRecord> estimates, const OrbitSource& orbit,
                                    const Ecef& receiver, HorizonRule horizon) {
    constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
    uint32_t entries = 0;
    for (const EstimateRecord& e : estimates) entries = std::max(entries, e.source + 1);
    std::vector<uint32_t> query_of_entry(entries, kNone);
    EstimateAngles out;
    out.of_estimate.resize(estimates.size());
    std::vector<GeometryQuery> queries;
    for (std::size_t i = 0; i < estimates.size(); ++i) {
        const EstimateRecord& e = estimates[i];
        uint32_t& query = query_of_entry[e.source];
        if (query == kNone) {
            query = static_cast<uint32_t>(queries.size());
            queries.push_back({e.satellite, e.time_ms});
        }
        out.of_estimate[i] = query;
    }
    OrbitCursor cursor(orbit);
    out.angles = look_angles(queries, cursor, receiver, horizon);
    out.served = cursor.served();
    return out;
}

ElevationCounts compute_result_elevations(AnalysisOutput& output, const OrbitSource& orbit, const Ecef& receiver) {
    std::vector<EstimateRecord>& estimates = output.estimates;
    const EstimateAngles angles = estimate_look_angles(estimates, orbit, receiver, HorizonRule::AboveOnly);
    ElevationCounts counts;
    counts.served = angles.served;
    for (std::size_t i = 0; i < estimates.size(); ++i) {
        const auto& a = angles[i];
        if (!a) {
            ++counts.failed;
            continue;
        }
        estimates[i].azimuth = a->azimuth;
        estimates[i].elevation = a->elevation;
        ++counts.computed;
    }
    if (counts.computed > 0) refresh_weighted_rms(estimates, output.statistics);
    return counts;
}

}  // namespace skyrift
