#pragma once
// Station-day quality control: its options, the thresholds behind the flags, and the
// plain records of one report. The definitions are in ARCHITECTURE.md ("Quality
// control"); the Python docstrings repeat them briefly.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/multipath/analyzer_config.hpp"
#include "analysis/multipath/multipath_results.hpp"
#include "navigation/orbit_source.hpp"
#include "rinex/obs_data.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

inline constexpr std::string_view kQualitySchema = "skyrift-mp/quality/1";

// A figure judged against two limits. Where more is better (completeness, observations
// per slip) a value below `warn` warns and below `fail` fails; where less is better
// (multipath) a value above them does.
struct Threshold {
    std::string name;  // "completeness", "mp1", "mp2", "obs_per_slip"
    double warn = 0.0;
    double fail = 0.0;
    bool higher_is_better = true;
};

// completeness 95 / 90 %, mp1 0.4 / 0.8 m, mp2 0.6 / 1.2 m, obs_per_slip 500 / 100.
std::vector<Threshold> default_thresholds();

enum class Verdict : uint8_t { Pass, Warn, Fail };
std::string_view verdict_text(Verdict v);  // "pass", "warn", "fail"
Verdict judge(const Threshold& t, double value);

struct QualityOptions {
    double cutoff = 10.0;           // degrees
    double gap_seconds = 600.0;     // a break longer than this is a gap, a shorter one a hole
    double elevation_step = 300.0;  // s between the orbit samples that find the passes
    std::vector<Threshold> thresholds = default_thresholds();
};

struct QualityInput {
    std::shared_ptr<const RinexObsData> obs;
    SharedOrbit orbit;                   // precise, broadcast, both or none
    std::optional<Ecef> receiver;        // the caller's; else the header's approximate position
    AnalyzerConfig multipath;            // run_quality sets its data, orbit, receiver and cutoff
};

struct TimeRange {
    int64_t start_ms = 0;
    int64_t end_ms = 0;
};

struct FileFacts {
    std::string station, marker_number, receiver_type, receiver_number, antenna_type, version;
    std::optional<double> header_interval;    // s, the header's INTERVAL as written
    std::optional<double> observed_interval;  // s, the upper median of the first spacings
    std::optional<double> interval;           // s, nominal: the header's when positive, else the observed one
    std::optional<int64_t> first_ms, last_ms; // first and last observation epoch
    double span_seconds = 0.0;
    std::optional<std::string> damage;        // what ended a partial read (RinexObsData.damage)
};

struct EpochCompleteness {
    std::optional<uint64_t> expected;  // span / interval + 1
    uint64_t present = 0;              // distinct observation epochs
    std::optional<double> completeness;  // %
    std::vector<TimeRange> gaps;       // breaks longer than gap_seconds: last epoch before, first after
    uint64_t holes = 0;                // shorter breaks that still miss an epoch
};

// One row per system and pseudorange code; the phase and SNR of the same band and
// attribute give its slips and SNR. Absent where the figure needs what the input lacks.
struct SignalQuality {
    GnssSystem system = GnssSystem::GPS;
    ObservationCode code;
    uint64_t observed = 0;                       // observations at any elevation
    std::optional<uint64_t> expected;            // over the system's healthy satellites
    std::optional<uint64_t> expected_tracking;   // over the satellites that track the code
    std::optional<uint64_t> present;             // observations above the cutoff
    std::optional<double> completeness, completeness_tracking;  // %
    std::optional<uint64_t> slips;
    std::optional<double> obs_per_slip;
    std::optional<double> mp_rms, mp_wrms;       // m
    std::optional<double> snr_mean;              // dB-Hz
};

struct SatelliteQuality {
    Satellite satellite;
    uint64_t epochs = 0;                         // epochs with any observation of it
    std::optional<int64_t> first_ms, last_ms;    // first and last of them
    std::optional<int64_t> first_above_ms, last_above_ms;  // first and last observed above the cutoff
    std::optional<uint64_t> expected;            // epochs expected above the cutoff
    std::optional<uint64_t> slips;               // slip epochs above the cutoff (all without elevations)
    std::vector<TimeRange> tracked;              // runs of consecutive epochs it was observed in
    std::vector<TimeRange> passes;               // above the cutoff by the orbit
};

struct SlipEvent {
    Satellite satellite;
    ObservationCode phase;
    int64_t time_ms = 0;
    bool above = true;  // within a pass (true without elevations)
};

struct ClockJump {
    int64_t time_ms = 0;
    int32_t milliseconds = 0;  // positive when the code jumps ahead of the phase
};

inline constexpr int kSnrBins = 9;  // 0-10, 10-20, ... 80-90 degrees

struct SnrBins {
    GnssSystem system = GnssSystem::GPS;
    ObservationCode code;  // the S code
    std::array<uint64_t, kSnrBins> count{};
    std::array<double, kSnrBins> mean{};  // NaN where the bin is empty
};

struct FlagResult {
    std::string name;
    std::optional<Verdict> verdict;  // absent when the figure is
};

struct SystemSummary {
    GnssSystem system = GnssSystem::GPS;
    std::optional<ObservationCode> have_code;  // the signal of #have and o/slps
    std::optional<uint64_t> expected, present;
    std::optional<double> completeness;
    std::optional<ObservationCode> mp1_code, mp2_code;
    std::optional<double> mp1, mp2;
    std::optional<uint64_t> slips;
    std::optional<double> obs_per_slip;
    std::string line;  // teqc's summary columns
    std::vector<FlagResult> flags;
};

struct QualityReport {
    QualityOptions options;
    std::string orbit;                  // "precise", "broadcast", "precise+broadcast" or ""
    std::optional<Ecef> receiver;       // where the elevations are seen from
    FileFacts file;
    EpochCompleteness epochs;
    std::vector<SignalQuality> signals;
    std::vector<SatelliteQuality> satellites;
    std::vector<SlipEvent> slips;
    std::optional<std::vector<ClockJump>> clock_jumps;  // absent without phases
    std::vector<SnrBins> snr_bins;
    std::vector<SystemSummary> summary;
    std::vector<std::string> missing;   // what is absent and why
    std::optional<AnalysisOutput> multipath;
    // Look angles per satellite entry of the observations (NaN where unknown), for the
    // per-observation SNR columns.
    std::shared_ptr<const RinexObsData> obs;
    std::vector<uint32_t> observation_epochs;  // indices of the epochs the report covers
    std::vector<double> entry_elevation, entry_azimuth;  // empty without elevations
    bool has_elevations = false;
};

}  // namespace skyrift
