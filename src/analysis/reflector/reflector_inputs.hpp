#pragma once
// The per-satellite, per-signal SNR tracks that reflector heights are computed from:
// either from columns the caller holds, or from observations and an orbit.
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "analysis/reflector/reflector_heights.hpp"
#include "analysis/reflector/reflector_signals.hpp"
#include "navigation/orbit_source.hpp"
#include "rinex/obs_data.hpp"
#include "utils/coordinates.hpp"
#include "utils/result.hpp"

namespace skyrift {

struct TrackSelection {
    bool include_beidou_geo_igso = false;
    AmplitudeRule min_amplitude;
    std::vector<std::pair<uint32_t, int8_t>> glonass_channels;  // slot, channel: before any other source
    // Samples outside this elevation band (degrees) are not kept: they cannot reach the
    // polynomial window, refraction included.
    double keep_min_elevation = -90.0;
    double keep_max_elevation = 90.0;
};

// Columns of samples: `satellite_index` points into `satellites` (a negative index drops
// the sample). One track per satellite that has a wavelength for `signal` (satellites are
// kept in the order given). Fails when the columns differ in length or an index is out of range.
struct SnrColumns {
    std::span<const Satellite> satellites;
    std::span<const int64_t> satellite_index;
    std::span<const double> times, elevations, azimuths, snr;
};
Result<std::vector<ReflectorTrack>> tracks_from_columns(const SnrColumns& columns, const ObservationCode& signal,
                                                        const std::string& signal_name,
                                                        const TrackSelection& selection);

// One track per satellite and S-code of the file that matches one of `signals` (every
// S-code when empty) and has a wavelength; sorted by satellite, then code. Look angles come
// from the orbit (precise first, then broadcast) at every epoch that has the SNR value;
// satellites neither orbit knows give no track.
std::vector<ReflectorTrack> tracks_from_observations(const RinexObsData& obs, const OrbitSource& orbit,
                                                     const Ecef& receiver, std::span<const ObservationCode> signals,
                                                     const TrackSelection& selection);

}  // namespace skyrift
