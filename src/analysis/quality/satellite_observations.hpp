#pragma once
// One satellite's part of the report, computed on its own (one pool task each): its
// passes, the look angles of its observations, its observations per code at any
// elevation and above the cutoff, its SNR, and when it was tracked.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/common/satellite_tracks.hpp"
#include "analysis/quality/quality_report.hpp"
#include "analysis/quality/satellite_passes.hpp"

namespace skyrift {

// What every satellite's task reads; nothing in it is written.
struct SatelliteContext {
    const RinexObsData& obs;
    const std::vector<uint32_t>& entry_epoch;  // per satellite entry: its epoch's place among the observation epochs
    OrbitSource orbit;
    std::optional<Ecef> receiver;              // set only when elevations can be computed
    PassGrid grid;
    std::optional<double> interval;            // nominal, s
};

struct CodeCount {
    ObservationCode code;
    uint64_t observed = 0;  // at any elevation
    uint64_t present = 0;   // within a pass
};

// The S code's values: their sum above the cutoff (all of them without elevations, and
// for a satellite the orbit never positions, which the signal rows then leave out), and
// per 10-degree elevation bin.
struct SnrAccumulator {
    ObservationCode code;
    double sum = 0.0;
    uint64_t count = 0;
    std::array<double, kSnrBins> bin_sum{};
    std::array<uint64_t, kSnrBins> bin_count{};
};

struct SatelliteWork {
    SatelliteQuality facts;
    std::vector<CodeCount> codes;  // the satellite's codes, sorted
    std::vector<SnrAccumulator> snr;
    bool positioned = false;       // the orbit gave it a position at some time
    bool unhealthy = false;        // left out of the expected counts somewhere for its health
    uint64_t without_position = 0; // observed epochs the orbit gave no position for
    std::vector<double> elevation, azimuth;  // per entry of its track; NaN where unknown
};

// `track` is null for a satellite only the orbit knows.
SatelliteWork satellite_work(const SatelliteContext& context, Satellite satellite, const SatelliteTrack* track);

}  // namespace skyrift
