#include "analysis/result_elevations.hpp"

#include <string>
#include <vector>

#include "analysis/multipath_stats.hpp"
#include "navigation/look_angles_batch.hpp"

namespace skyrift {

ElevationCounts compute_result_elevations(AnalysisOutput& output, const Sp3Data& sp3, const Ecef& receiver) {
    std::vector<EstimateRecord>& estimates = output.estimates;
    // The geometry works from the texts an estimate shows: its satellite id and ISO epoch.
    std::vector<std::string> satellite_ids, epochs;
    satellite_ids.reserve(estimates.size());
    epochs.reserve(estimates.size());
    for (const EstimateRecord& e : estimates) {
        satellite_ids.push_back(e.satellite.id());
        epochs.push_back(iso_text_from_ms(e.time_ms));
    }
    std::vector<LookAngleQuery> queries(estimates.size());
    for (std::size_t i = 0; i < estimates.size(); ++i) queries[i] = {satellite_ids[i], epochs[i]};
    const LookAngleBatch batch = compute_look_angles(sp3, queries, receiver);
    for (std::size_t i = 0; i < estimates.size(); ++i) {
        if (!batch.angles[i]) continue;
        estimates[i].azimuth = batch.angles[i]->azimuth;
        estimates[i].elevation = batch.angles[i]->elevation;
    }
    if (batch.computed > 0) refresh_weighted_rms(estimates, output.statistics);
    return {batch.computed, batch.failed};
}

}  // namespace skyrift
