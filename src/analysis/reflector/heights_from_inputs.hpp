#pragma once
// Reflector heights in one call from what a caller holds: the options checked first (a
// bad option fails before any track is built), then the tracks, then their heights.
#include <span>
#include <string>

#include "analysis/reflector/reflector_heights.hpp"
#include "analysis/reflector/reflector_inputs.hpp"
#include "navigation/orbit_source.hpp"
#include "rinex/obs_data.hpp"
#include "utils/coordinates.hpp"
#include "utils/result.hpp"

namespace skyrift {

// From the observations' S-codes and look angles from the orbit (see tracks_from_observations).
Result<ReflectorOutput> heights_from_observations(const RinexObsData& obs, const OrbitSource& orbit,
                                                  const Ecef& receiver, std::span<const ObservationCode> signals,
                                                  const TrackSelection& selection, const ReflectorOptions& options);

// From columns of samples of one signal (see tracks_from_columns).
Result<ReflectorOutput> heights_from_columns(const SnrColumns& columns, const ObservationCode& signal,
                                             const std::string& signal_name, const TrackSelection& selection,
                                             const ReflectorOptions& options);

}  // namespace skyrift
