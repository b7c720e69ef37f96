#pragma once
// Carrier-phase cycle-slip detection: loss-of-lock indicators, geometry-free
// (ionospheric) changes and code-minus-phase changes between a signal's successive
// values.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "analysis/common/satellite_tracks.hpp"
#include "rinex/obs_data.hpp"

namespace skyrift {

enum class SlipMethod : uint8_t { Gf, CodePhase, Lli, Doppler };
std::string_view slip_method_text(SlipMethod method);  // "gf", "code_phase", "lli", "doppler"

struct SlipRecord {
    Satellite satellite;
    int64_t time_ms = 0;                   // the later of the two compared epochs
    ObservationCode signals[2];            // phase first; partner phase or pseudorange second
    uint8_t num_signals = 0;
    double magnitude = 0.0;                // m (1.0 for lli)
    double threshold = 0.0;                // m (0.0 for lli)
    SlipMethod method = SlipMethod::Gf;
    uint8_t attributed = 1;                // bit i set: the slip belongs to phase signals[i]
};

struct SlipSettings {
    double ion_delta_base = 0.10, ion_delta_rate = 0.003;
    double cp_delta_base = 5.0, cp_delta_rate = 0.10;
    double max_gap = 300.0;  // s; values further apart are not compared
    bool use_lli = true;
    // Compare a signal with its own last value across a hole of at most max_gap; when
    // false, only with the satellite's previous epoch (a signal's first epoch after a
    // hole is then never tested).
    bool compare_across_holes = true;
};

// A satellite's signal: the key of the slip-epoch sets.
struct SignalKey {
    Satellite satellite;
    ObservationCode code;
    friend bool operator==(const SignalKey&, const SignalKey&) = default;
};
struct SignalKeyHash {
    std::size_t operator()(const SignalKey& k) const noexcept {
        return std::hash<Satellite>{}(k.satellite) * 31 + std::hash<ObservationCode>{}(k.code);
    }
};

struct SlipDetection {
    std::vector<SlipRecord> slips;                   // by time, satellite text, first signal
    std::map<std::string, uint64_t> counts;          // "GPSL1C" -> distinct slip events
    // Per satellite and phase code: ascending time stamps (ms) of the epochs with a slip.
    std::unordered_map<SignalKey, std::vector<int64_t>, SignalKeyHash> slip_epochs;
};

// The slips of one track, every signal whatever the analysed systems: by time, then
// first signal, with their slip epochs and their counts. The analysis runs one track per
// task of the worker pool and merges the parts in track order.
SlipDetection detect_track_slips(const RinexObsData& obs, const SatelliteTrack& track, const SlipSettings& settings);
SlipDetection merge_slip_detections(std::vector<SlipDetection> parts);

}  // namespace skyrift
