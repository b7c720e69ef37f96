#include "analysis/quality/satellite_passes.hpp"

#include <algorithm>
#include <cmath>

#include "analysis/quality/epoch_completeness.hpp"
#include "navigation/broadcast_time.hpp"
#include "utils/time.hpp"

namespace skyrift {

namespace {

struct Sample {
    int64_t time_ms = 0;
    double elevation = 0.0;
    bool counts = false;
};

std::vector<int64_t> sample_times(const PassGrid& grid) {
    std::vector<int64_t> times;
    const auto step = static_cast<int64_t>(std::llround(grid.step_seconds * 1000.0));
    for (int64_t t = grid.first_ms; t < grid.last_ms; t += std::max<int64_t>(step, 1)) times.push_back(t);
    times.push_back(grid.last_ms);
    return times;
}

int64_t crossing(const Sample& a, const Sample& b, double cutoff) {
    const double share = (cutoff - a.elevation) / (b.elevation - a.elevation);
    return a.time_ms + std::llround(share * static_cast<double>(b.time_ms - a.time_ms));
}

}  // namespace

bool broadcast_unhealthy(const NavData& nav, Satellite satellite, const Epoch& epoch) {
    const NavData::SatelliteRange* range = nav.find(satellite);
    const auto t = seconds_since_gps_origin(epoch);
    if (!range || !t) return false;
    const BroadcastEphemeris* e = select_ephemeris(nav, *range, *t);
    return e && !e->healthy;
}

SatellitePasses find_passes(OrbitCursor& cursor, const NavData* broadcast, Satellite satellite,
                            const LookAngleFrame& frame, const PassGrid& grid) {
    SatellitePasses out;
    std::vector<Sample> samples;
    for (const int64_t t : sample_times(grid)) {
        const Epoch epoch = epoch_from_ms(t);
        Sample s{t, 0.0, false};
        if (const auto position = cursor.position(satellite, epoch)) {
            out.positioned = true;
            if (broadcast && broadcast_unhealthy(*broadcast, satellite, epoch)) {
                out.unhealthy = true;
            } else {
                s.elevation = frame(*position).elevation;
                s.counts = std::isfinite(s.elevation);
            }
        }
        samples.push_back(s);
    }
    bool in_pass = false;
    int64_t start = 0;
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const Sample& s = samples[k];
        const bool above = s.counts && s.elevation >= grid.cutoff;
        const Sample* previous = k > 0 ? &samples[k - 1] : nullptr;
        if (above && !in_pass) {
            start = previous && previous->counts ? crossing(*previous, s, grid.cutoff) : s.time_ms;
            in_pass = true;
        } else if (!above && in_pass) {  // a pass began at an earlier sample, so there is one before
            const int64_t end = s.counts ? crossing(*previous, s, grid.cutoff) : previous->time_ms;
            out.passes.push_back({start, end});
            in_pass = false;
        }
    }
    if (in_pass) out.passes.push_back({start, samples.back().time_ms});
    return out;
}

uint64_t expected_in_passes(const std::vector<TimeRange>& passes, double interval) {
    uint64_t n = 0;
    for (const TimeRange& p : passes) {
        n += expected_epoch_count(static_cast<double>(p.end_ms - p.start_ms) / 1000.0, interval);
    }
    return n;
}

bool within_passes(const std::vector<TimeRange>& passes, int64_t time_ms) {
    // The first pass that ends at or after t; t is within it when it has begun.
    const auto it = std::lower_bound(passes.begin(), passes.end(), time_ms,
                                     [](const TimeRange& p, int64_t t) { return p.end_ms < t; });
    return it != passes.end() && it->start_ms <= time_ms;
}

}  // namespace skyrift
