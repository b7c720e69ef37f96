#include "analysis/multipath/result_elevations.hpp"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "analysis/multipath/multipath_stats.hpp"
#include "navigation/look_angles_batch.hpp"

namespace skyrift {

EstimateAngles estimate_look_angles(std::span<const EstimateRecord> estimates, const OrbitSource& orbit,
                                    const Ecef& receiver, HorizonRule horizon) {
    uint32_t entries = 0;
    for (const EstimateRecord& e : estimates) entries = std::max(entries, e.source + 1);
    EntryQueries table(entries);
    EstimateAngles out;
    out.of_estimate.resize(estimates.size());
    for (std::size_t i = 0; i < estimates.size(); ++i) {
        const EstimateRecord& e = estimates[i];
        out.of_estimate[i] = table.ask(e.source, e.satellite, e.time_ms);
    }
    LookAngleBatch batch = compute_look_angles(orbit, table.queries(), receiver, horizon);
    out.angles = std::move(batch.angles);
    out.served = batch.served;
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
        estimates[i].positioned = true;
        ++counts.computed;
    }
    if (counts.computed > 0) refresh_weighted_rms(estimates, output.statistics);
    return counts;
}

}  // namespace skyrift
