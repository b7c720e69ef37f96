#pragma once
// Raw code-multipath values of one satellite and signal pair, in time order.
#include <cstdint>
#include <vector>

#include "analysis/common/satellite_tracks.hpp"
#include "analysis/multipath/signal_pairs.hpp"

namespace skyrift {

struct MpSeries {
    std::vector<int64_t> times_ms;
    std::vector<double> values;     // m, still carrying the arc's ambiguity bias
    std::vector<double> snr;        // NaN-free; meaningful where has_snr is set
    std::vector<uint8_t> has_snr;
    std::vector<uint32_t> track_entries;  // index into the track's entries of each point

    void clear() { times_ms.clear(); values.clear(); snr.clear(); has_snr.clear(); track_entries.clear(); }
    std::size_t size() const { return values.size(); }
};

// MP = P - (1 + b) * lambda1 * L1 + b * lambda2 * L2 with b = 2 / (alpha - 1), at every
// epoch of the track that has all three observations; non-finite values are dropped.
// The series is left sorted by time (stable).
void build_mp_series(const RinexObsData& obs, const SatelliteTrack& track, const MpSignalPair& pair,
                     MpSeries& series);

}  // namespace skyrift
