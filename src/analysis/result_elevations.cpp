#include "analysis/result_elevations.hpp"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "analysis/multipath_stats.hpp"
#include "navigation/look_angles_batch.hpp"

namespace skyrift {

ElevationCounts compute_result_elevations(AnalysisOutput& output, const Sp3Data& sp3, const Ecef& receiver) {
    std::vector<EstimateRecord>& estimates = output.estimates;
    // The signals of one satellite at one epoch come from one satellite entry of the
    // observation data: the geometry is asked once per entry and shared.
    constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
    uint32_t entries = 0;
    for (const EstimateRecord& e : estimates) entries = std::max(entries, e.source + 1);
    std::vector<uint32_t> query_of_entry(entries, kNone);
    std::vector<uint32_t> query_of(estimates.size());
    // The geometry works from the texts an estimate shows: its satellite id and ISO epoch.
    std::vector<std::string> satellite_ids, epochs;
    for (std::size_t i = 0; i < estimates.size(); ++i) {
        const EstimateRecord& e = estimates[i];
        uint32_t& query = query_of_entry[e.source];
        if (query == kNone) {
            query = static_cast<uint32_t>(satellite_ids.size());
            satellite_ids.push_back(e.satellite.id());
            epochs.push_back(iso_text_from_ms(e.time_ms));
        }
        query_of[i] = query;
    }
    std::vector<LookAngleQuery> queries(satellite_ids.size());
    for (std::size_t q = 0; q < queries.size(); ++q) queries[q] = {satellite_ids[q], epochs[q]};
    const LookAngleBatch batch = compute_look_angles(sp3, queries, receiver);

    ElevationCounts counts;
    for (std::size_t i = 0; i < estimates.size(); ++i) {
        const auto& angles = batch.angles[query_of[i]];
        if (!angles) {
            ++counts.failed;
            continue;
        }
        estimates[i].azimuth = angles->azimuth;
        estimates[i].elevation = angles->elevation;
        ++counts.computed;
    }
    if (counts.computed > 0) refresh_weighted_rms(estimates, output.statistics);
    return counts;
}

}  // namespace skyrift
