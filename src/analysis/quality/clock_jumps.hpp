#pragma once
// Receiver clock jumps: epochs at which the code-minus-phase of every satellite jumps
// by the same whole number of light-milliseconds, as a receiver that keeps its clock
// near GPS time by millisecond steps makes it (the code follows the step, the phase
// does not, or the other way round).
#include <cstdint>
#include <vector>

#include "analysis/common/satellite_tracks.hpp"
#include "analysis/quality/quality_report.hpp"
#include "rinex/obs_data.hpp"

namespace skyrift {

struct ClockJumpRules {
    // How far from a whole millisecond (299792.458 m) a change may lie. Ionosphere and
    // multipath change code-minus-phase by metres between epochs, a cycle slip by
    // metres to kilometres for one satellite only; a jump moves every satellite alike.
    double tolerance_m = 300.0;
    std::size_t min_satellites = 2;
};

// Compares consecutive observation epochs; a signal counts at an epoch when it has its
// code and phase there and at the epoch before, and its phase shows no loss of lock.
// `tracks`: those of `epochs`, in satellite order (collect_tracks), for the codes each
// satellite has.
std::vector<ClockJump> detect_clock_jumps(const RinexObsData& obs, const std::vector<uint32_t>& epochs,
                                          const std::vector<SatelliteTrack>& tracks, const ClockJumpRules& rules = {});

}  // namespace skyrift
