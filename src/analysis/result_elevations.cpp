#include "analysis/result_elevations.hpp"

#include <string>
#include <unordered_map>
#include <vector>

#include "analysis/multipath_stats.hpp"
#include "navigation/look_angles_batch.hpp"

namespace skyrift {

namespace {

// The signals of one satellite share its epochs: the geometry is asked once per
// (satellite, epoch), and every estimate there gets that answer.
struct SatelliteEpoch {
    Satellite satellite;
    int64_t time_ms;
    friend bool operator==(const SatelliteEpoch&, const SatelliteEpoch&) = default;
};
struct SatelliteEpochHash {
    std::size_t operator()(const SatelliteEpoch& k) const noexcept {
        return std::hash<Satellite>{}(k.satellite) ^ (std::hash<int64_t>{}(k.time_ms) * 0x9E3779B97F4A7C15ULL);
    }
};

}  // namespace

ElevationCounts compute_result_elevations(AnalysisOutput& output, const Sp3Data& sp3, const Ecef& receiver) {
    std::vector<EstimateRecord>& estimates = output.estimates;
    std::unordered_map<SatelliteEpoch, uint32_t, SatelliteEpochHash> query_index;
    std::vector<uint32_t> query_of(estimates.size());
    // The geometry works from the texts an estimate shows: its satellite id and ISO epoch.
    std::vector<std::string> satellite_ids, epochs;
    for (std::size_t i = 0; i < estimates.size(); ++i) {
        const EstimateRecord& e = estimates[i];
        const auto [it, fresh] =
            query_index.try_emplace({e.satellite, e.time_ms}, static_cast<uint32_t>(satellite_ids.size()));
        if (fresh) {
            satellite_ids.push_back(e.satellite.id());
            epochs.push_back(iso_text_from_ms(e.time_ms));
        }
        query_of[i] = it->second;
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
