#pragma once
// What one multipath analysis produces: estimates, per-signal statistics and slips.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analysis/multipath/cycle_slips.hpp"
#include "analysis/multipath/multipath_arcs.hpp"
#include "rinex/types.hpp"

namespace skyrift {

// The elevation (degrees) an estimate carries until an orbit places it; the cutoff acts
// on it like on a real one.
inline constexpr double kPlaceholderElevation = 45.0;

struct EstimateRecord {
    Satellite satellite;
    int64_t time_ms = 0;        // the epoch's exact time stamp
    double mp_value = 0.0;      // m, bias removed
    double elevation = kPlaceholderElevation;  // degrees, until real look angles are computed
    double azimuth = 0.0;       // degrees
    double snr = 0.0;           // dB-Hz, meaningful when has_snr
    // The one-byte fields together after the last double fill what would be padding:
    // 64 bytes an estimate, not 72 (a day of estimates is millions of them).
    bool positioned = false;    // elevation and azimuth come from an orbit (else the placeholder)
    bool has_snr = false;
    ArcStart arc_start = ArcStart::SeriesStart;  // what cut the series where the arc begins
    ObservationCode signal;     // the pseudorange code
    uint32_t source = 0;        // satellite entry of the observation data it came from
    uint32_t arc = 0;           // arc number, unique within one analysis, rising in emission order
};

struct StatsRecord {
    std::string signal;         // series key, e.g. GPSM1C
    double rms = 0.0, mean = 0.0, std_dev = 0.0, min = 0.0, max = 0.0, weighted_rms = 0.0;
    GnssSystem system = GnssSystem::GPS;
    ObservationCode code;
    uint64_t cycle_slips = 0;
    uint64_t count = 0;
};

struct AnalysisOutput {
    std::vector<EstimateRecord> estimates;       // by series key, then PRN, then time
    std::vector<SlipRecord> slips;
    std::map<std::string, uint64_t> slip_counts;
    std::vector<StatsRecord> statistics;         // one per series key, in key order
    // With an orbit: the estimates it gave no position for, in total and per system
    // ("BDS"). Left out of the estimates by default; kept with the 45-degree placeholder
    // (and then counted only where they pass the cutoff at 45) when the caller asks.
    // Absent when the analysis had no orbit.
    std::optional<uint64_t> estimates_without_position;
    std::map<std::string, uint64_t> without_position_by_system;
    // Why a signal (by series key, "GPSM2C") or the whole file ("file") gave no estimates.
    std::map<std::string, std::string> empty_reasons;
};

}  // namespace skyrift
