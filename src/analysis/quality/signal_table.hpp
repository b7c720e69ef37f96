#pragma once
// The per-signal rows and the SNR bins, summed over the satellites of each system.
#include <optional>
#include <vector>

#include "analysis/multipath/multipath_results.hpp"
#include "analysis/quality/quality_report.hpp"
#include "analysis/quality/satellite_observations.hpp"

namespace skyrift {

struct SignalInputs {
    const std::vector<GnssSystem>& systems;   // the file's, in letter order
    const std::vector<SatelliteWork>& works;  // one per satellite
    const std::vector<SlipEvent>* slips;      // null without slip detection
    const AnalysisOutput* multipath;          // null without a multipath analysis
    bool elevations = false;                  // present, expected and passes are known
};

// One row per system and pseudorange code observed, in code order within the system.
std::vector<SignalQuality> signal_rows(const SignalInputs& in);

// One entry per system and S code that has an observation with a known elevation.
std::vector<SnrBins> snr_bins(const std::vector<GnssSystem>& systems, const std::vector<SatelliteWork>& works);

// Observations per slip: with no slip, the observation count itself (the ratio for one
// slip), so that more is better and the figure stays finite.
double observations_per_slip(uint64_t observations, uint64_t slips);

}  // namespace skyrift
