#include "analysis/reflector/heights_from_inputs.hpp"

#include <vector>

namespace skyrift {

Result<ReflectorOutput> heights_from_observations(const RinexObsData& obs, const OrbitSource& orbit,
                                                  const Ecef& receiver, std::span<const ObservationCode> signals,
                                                  const TrackSelection& selection, const ReflectorOptions& options) {
    if (auto ok = validate(options); !ok) return ok.error();
    const std::vector<ReflectorTrack> tracks = tracks_from_observations(obs, orbit, receiver, signals, selection);
    return reflector_heights(tracks, options);
}

Result<ReflectorOutput> heights_from_columns(const SnrColumns& columns, const ObservationCode& signal,
                                             const std::string& signal_name, const TrackSelection& selection,
                                             const ReflectorOptions& options) {
    if (auto ok = validate(options); !ok) return ok.error();
    const Result<std::vector<ReflectorTrack>> tracks = tracks_from_columns(columns, signal, signal_name, selection);
    if (!tracks) return tracks.error();
    return reflector_heights(*tracks, options);
}

}  // namespace skyrift
