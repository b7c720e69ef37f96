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

// The values of some codes over a track's entries, one column per code, read from the
// observations in one pass however many signal pairs share a code.
class TrackColumns {
public:
    TrackColumns(const RinexObsData& obs, const SatelliteTrack& track, std::vector<ObservationCode> codes);
    // Per entry of the track: the value, and whether the entry has the code (nullptr for
    // a code that is no column).
    const double* values(ObservationCode code) const;
    const uint8_t* present(ObservationCode code) const;

private:
    std::size_t column_of(ObservationCode code) const;
    std::vector<ObservationCode> codes_;  // sorted, unique
    std::size_t entries_ = 0;
    std::vector<double> values_;          // column-major: codes_.size() columns of entries_
    std::vector<uint8_t> present_;
};

// The codes a pair reads.
std::vector<ObservationCode> codes_of_pair(const MpSignalPair& pair);

// MP = P - (1 + b) * lambda1 * L1 + b * lambda2 * L2 with b = 2 / (alpha - 1), at every
// epoch of the track that has all three observations; non-finite values are dropped.
// The series is left sorted by time (stable). `columns` holds the pair's codes.
void build_mp_series(const TrackColumns& columns, const SatelliteTrack& track, const MpSignalPair& pair,
                     MpSeries& series);

}  // namespace skyrift
