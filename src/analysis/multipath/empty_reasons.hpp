#pragma once
// Why an analysis, or one of its signals, gave no estimates: short texts a person reads,
// by series key ("GPSM2C") or "file".
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "analysis/common/satellite_tracks.hpp"
#include "analysis/multipath/analyzer_config.hpp"

namespace skyrift {

// How far one satellite's selected pseudorange got.
enum class SignalStop : uint8_t { NoPhase, NoFrequency, NoSecondFrequency, NoCommonEpoch, NoArc, Emitted };

struct SignalFate {
    std::string key;  // series key
    Satellite satellite;
    SignalStop stop = SignalStop::Emitted;
};

// What the elevations did to the estimates one series key emitted.
struct KeyCount {
    uint64_t kept = 0;
    uint64_t without_position = 0;  // left out: the orbit has no position
    uint64_t below_cutoff = 0;
};

struct AnalysisTrace {
    std::vector<SignalFate> fates;         // one per selected satellite and pseudorange
    std::map<std::string, KeyCount> keys;  // per series key that emitted estimates
};

// Nothing for a signal that kept estimates; a "file" entry when the file as a whole
// cannot give any (no epochs, nothing selected, too short for an arc).
std::map<std::string, std::string> empty_reasons(const AnalyzerConfig& config, const RinexObsData& obs,
                                                 const std::vector<uint32_t>& epochs,
                                                 const std::vector<SatelliteTrack>& tracks,
                                                 const AnalysisTrace& trace);

}  // namespace skyrift
