#pragma once
// The analysed epochs regrouped by satellite: where each satellite occurs, when, and
// which observation codes it ever has. Both the slip detector and the multipath series
// walk one satellite at a time.
#include <cstdint>
#include <optional>
#include <vector>

#include "rinex/obs_data.hpp"

namespace skyrift {

struct SatelliteTrack {
    Satellite satellite;
    std::optional<int8_t> channel;       // GLONASS frequency channel
    std::vector<uint32_t> entries;       // indices into RinexObsData::satellite_entries
    std::vector<int64_t> times_ms;       // time stamp of each entry's epoch
    std::vector<ObservationCode> codes;  // every code seen, sorted by text
};

// One track per satellite of the analysed epochs, in satellite order; entries in epoch order.
std::vector<SatelliteTrack> collect_tracks(const RinexObsData& obs,
                                           const std::vector<uint32_t>& epochs);

// The codes of one kind, in band-then-attribute order.
std::vector<ObservationCode> codes_of_kind(const std::vector<ObservationCode>& codes,
                                           ObservationKind kind);

}  // namespace skyrift
