#pragma once
// Real look angles for the estimates of an analysis, from a precise or broadcast orbit.
#include <cstddef>

#include "analysis/multipath_results.hpp"
#include "navigation/orbit_source.hpp"
#include "navigation/sp3_data.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

struct ElevationCounts {
    std::size_t computed = 0;
    std::size_t failed = 0;  // computed + failed == number of estimates
    OrbitCursor::Served served{};  // which orbit gave the positions, per system (one per satellite and epoch)
};

// Every estimate whose satellite is strictly above the horizon gets its azimuth and
// elevation; the others keep theirs. When any was computed, the weighted RMS of the
// statistics is refreshed from all stored elevations.
ElevationCounts compute_result_elevations(AnalysisOutput& output, const OrbitSource& orbit, const Ecef& receiver);
inline ElevationCounts compute_result_elevations(AnalysisOutput& output, const Sp3Data& sp3, const Ecef& receiver) {
    return compute_result_elevations(output, OrbitSource{&sp3, nullptr}, receiver);
}

}  // namespace skyrift
