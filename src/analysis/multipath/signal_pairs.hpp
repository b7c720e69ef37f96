#pragma once
// Choice of the dual-frequency combination for every satellite and pseudorange signal.
#include <optional>
#include <string>
#include <vector>

#include "analysis/common/satellite_tracks.hpp"

namespace skyrift {

struct MpSignalPair {
    ObservationCode code;                  // pseudorange, e.g. C1C
    ObservationCode phase;                 // same-signal phase, e.g. L1C
    ObservationCode partner;               // second-frequency phase, e.g. L2W
    std::optional<ObservationCode> snr;    // signal strength reported with each estimate
    std::size_t track = 0;                 // index of the satellite's track
    double wavelength1 = 0.0, wavelength2 = 0.0;
    double alpha = 0.0;                    // f1^2 / f2^2
};

struct PairFilter {
    std::vector<GnssSystem> systems;
    std::vector<std::string> include_codes;  // normalised "C1C" / "GC1C"
    std::vector<std::string> exclude_codes;
};

// Why a selected pseudorange of a satellite got no pair.
enum class PairGap : uint8_t { NoPhase, NoFrequency, NoSecondFrequency };

struct UnpairedSignal {
    std::size_t track = 0;
    ObservationCode code;
    PairGap gap = PairGap::NoPhase;
};

struct SignalSelection {
    std::vector<MpSignalPair> pairs;        // in track (satellite) order, each satellite's in code order
    std::vector<UnpairedSignal> unpaired;   // the selected codes that got none, same order
};

// Every pseudorange of the analysed systems that passes the code filters either pairs
// or is listed with the reason it does not.
SignalSelection select_signal_pairs(const std::vector<SatelliteTrack>& tracks, const PairFilter& filter);

// Whether a system is among the analysed ones, and a code passes the include and
// exclude lists.
bool system_selected(const PairFilter& filter, GnssSystem system);
bool passes_filters(const PairFilter& filter, Satellite satellite, ObservationCode code);

// "GPSM1C": the key under which estimates and statistics of a system's signal are grouped.
std::string series_key(GnssSystem system, ObservationCode code);

}  // namespace skyrift
