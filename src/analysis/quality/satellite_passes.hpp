#pragma once
// When a satellite is above the cutoff, from its orbit sampled every few minutes with
// the crossings interpolated (as Anubis finds its expected observations), and how many
// epochs of the nominal interval each pass should hold.
#include <cstdint>
#include <vector>

#include "analysis/quality/quality_report.hpp"
#include "navigation/nav_data.hpp"
#include "navigation/orbit_source.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

struct PassGrid {
    int64_t first_ms = 0, last_ms = 0;  // the observation span
    double step_seconds = 300.0;        // between samples; the last sample is at last_ms
    double cutoff = 10.0;               // degrees
};

struct SatellitePasses {
    std::vector<TimeRange> passes;  // in time order, within the span
    bool positioned = false;        // the orbit gave a position at some sample
    bool unhealthy = false;         // some sample was left out for the satellite's health
};

// A sample counts where the orbit gives a position and, with broadcast ephemerides,
// the ephemeris in force there is healthy. A pass begins where the elevation rises
// through the cutoff between two samples (linearly interpolated), or at the first
// sample that counts; it ends likewise.
SatellitePasses find_passes(OrbitCursor& cursor, const NavData* broadcast, Satellite satellite,
                            const LookAngleFrame& frame, const PassGrid& grid);

// Each pass's expected epochs (expected_epoch_count of its duration), summed.
uint64_t expected_in_passes(const std::vector<TimeRange>& passes, double interval);

// Whether `time_ms` lies within one of the (time-ordered) passes.
bool within_passes(const std::vector<TimeRange>& passes, int64_t time_ms);

// Whether the broadcast ephemeris chosen at `epoch` is flagged unhealthy (false when
// the satellite has none there: its health is not known).
bool broadcast_unhealthy(const NavData& nav, Satellite satellite, const Epoch& epoch);

}  // namespace skyrift
