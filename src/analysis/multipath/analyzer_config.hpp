#pragma once
// The validated options of one multipath analyzer, and the routines that normalise them.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "navigation/orbit_source.hpp"
#include "rinex/obs_data.hpp"
#include "rinex/types.hpp"
#include "utils/coordinates.hpp"
#include "utils/result.hpp"

namespace skyrift {

struct AnalyzerConfig {
    std::optional<double> bias_window;        // seconds; absent: plain arc mean
    std::optional<uint64_t> max_epochs;       // 0 or absent: no decimation
    std::vector<GnssSystem> systems;          // constellations that get estimates
    std::vector<std::string> include_codes;   // "C1C" or "GC1C"; empty: no include filter
    std::vector<std::string> exclude_codes;
    double ion_delta_base = 0.10;             // m
    double ion_delta_rate = 0.003;            // m/s
    double cp_delta_base = 5.0;               // m
    double cp_delta_rate = 0.10;              // m/s
    double max_slip_gap = 300.0;              // s, fixed
    bool use_lli = true;                      // fixed
    double elevation_cutoff = 10.0;           // degrees
    double min_arc = 300.0;                   // s
    uint64_t min_arc_points = 10;             // arcs with fewer points are dropped
    double arc_gap_factor = 5.0;
    double mp_jump_limit = 10.0;              // m, fixed
    bool attach_snr = true;                   // fixed
    bool elevation_weighting = true;          // fixed
    bool detect_cycle_slips = true;
    bool slip_tests_across_holes = true;      // false: the older adjacent-epoch rule
    std::shared_ptr<const RinexObsData> obs_data;
    // With an orbit (precise, broadcast or both) every estimate gets real look angles
    // from `receiver`, and the cutoff acts on them; without one every estimate carries
    // the 45-degree placeholder.
    SharedOrbit orbit;
    Ecef receiver;
    // With an orbit: estimates it has no position for are left out (their elevation is
    // unknown, so no cutoff can pass them and no weight suits them), unless this keeps
    // them with the placeholder, judged by the cutoff at 45 degrees and weighted 0.
    bool keep_estimates_without_position = false;
};

// GPS, GLONASS, Galileo, BeiDou: the systems analysed when the caller names none.
std::vector<GnssSystem> default_systems();

// Only the first character of each name counts ("GPS" and "Galileo" both give GPS);
// empty or unknown names are skipped, duplicates kept.
std::vector<GnssSystem> systems_from_names(const std::vector<std::string>& names);

// Trims and upper-cases every entry and checks that it names a signal ("C1C") or a
// system's signal ("GC1C"). The first bad entry fails with a message naming `label`.
Result<std::vector<std::string>> normalize_code_filter(std::string_view label,
                                                       const std::vector<std::string>& entries);

// The fewest points an arc may have: at least 1.
Result<uint64_t> check_min_arc_points(uint64_t points);

// Where look angles are taken from: the given position, else the file's approximate
// position; an error when neither exists or the file's position is the Earth's centre.
Result<Ecef> receiver_position(const RinexHeader& header, const std::optional<Ecef>& given);

}  // namespace skyrift
