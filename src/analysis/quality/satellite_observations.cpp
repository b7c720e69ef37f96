#include "analysis/quality/satellite_observations.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "navigation/look_angles_batch.hpp"

namespace skyrift {

namespace {

constexpr double kUnknownAngle = std::numeric_limits<double>::quiet_NaN();

// Codes by (kind, band digit, attribute byte): one table lookup per observation.
class CodeIndex {
public:
    explicit CodeIndex(const std::vector<ObservationCode>& codes) : slots_(kKinds * kBands * kAttributes, -1) {
        for (std::size_t i = 0; i < codes.size(); ++i)
            if (codes[i].band < kBands) slots_[slot(codes[i])] = static_cast<int16_t>(i);
    }
    int16_t operator[](ObservationCode c) const { return c.band < kBands ? slots_[slot(c)] : -1; }

private:
    static constexpr std::size_t kKinds = 5, kBands = 10, kAttributes = 256;
    static std::size_t slot(ObservationCode c) {
        return (static_cast<std::size_t>(c.kind) * kBands + c.band) * kAttributes + static_cast<unsigned char>(c.attribute);
    }
    std::vector<int16_t> slots_;
};

// Look angles of every entry of the track; counts those without a position.
void entry_angles(OrbitCursor& cursor, const Ecef& receiver, const SatelliteTrack& track, SatelliteWork& work) {
    std::vector<LookAngleQuery> queries;
    queries.reserve(track.times_ms.size());
    for (const int64_t t : track.times_ms) queries.push_back({track.satellite, t});
    const LookAngleBatch batch = compute_look_angles(cursor, queries, receiver, HorizonRule::Any);
    work.without_position = batch.failed;
    work.elevation.assign(queries.size(), kUnknownAngle);
    work.azimuth.assign(queries.size(), kUnknownAngle);
    for (std::size_t i = 0; i < queries.size(); ++i) {
        if (!batch.angles[i]) continue;
        work.elevation[i] = batch.angles[i]->elevation;
        work.azimuth[i] = batch.angles[i]->azimuth;
    }
}

// Runs of consecutive observation epochs; a step over a missing epoch or longer than
// 1.5 intervals ends a run.
std::vector<TimeRange> tracked_runs(const SatelliteContext& context, const SatelliteTrack& track) {
    std::vector<TimeRange> runs;
    for (std::size_t i = 0; i < track.entries.size(); ++i) {
        const int64_t t = track.times_ms[i];
        bool continues = i > 0 && context.entry_epoch[track.entries[i]] == context.entry_epoch[track.entries[i - 1]] + 1;
        if (continues && context.interval)
            continues = static_cast<double>(t - track.times_ms[i - 1]) <= 1500.0 * *context.interval;
        if (continues) {
            runs.back().end_ms = t;
        } else {
            runs.push_back({t, t});
        }
    }
    return runs;
}

std::size_t bin_of(double elevation) {
    return static_cast<std::size_t>(std::clamp(static_cast<int>(elevation / 10.0), 0, kSnrBins - 1));
}

void count_observations(const SatelliteContext& context, const SatelliteTrack& track, bool elevations,
                        SatelliteWork& work) {
    for (const ObservationCode& c : track.codes) work.codes.push_back({c, 0, 0});
    std::vector<int16_t> snr_of_code(track.codes.size(), -1);
    for (std::size_t i = 0; i < track.codes.size(); ++i) {
        if (track.codes[i].kind != ObservationKind::S) continue;
        snr_of_code[i] = static_cast<int16_t>(work.snr.size());
        work.snr.push_back({track.codes[i]});
    }
    const CodeIndex index(track.codes);
    SatelliteQuality& facts = work.facts;
    for (std::size_t i = 0; i < track.entries.size(); ++i) {
        const int64_t t = track.times_ms[i];
        const bool above = elevations && within_passes(facts.passes, t);
        if (above) {
            facts.first_above_ms = std::min(facts.first_above_ms.value_or(t), t);
            facts.last_above_ms = std::max(facts.last_above_ms.value_or(t), t);
        }
        const double elevation = elevations ? work.elevation[i] : kUnknownAngle;
        for (const ObservationEntry& o : context.obs.observations_of(context.obs.satellite_entries[track.entries[i]])) {
            const int16_t k = index[o.code];
            if (k < 0) continue;  // a band the tracks do not keep
            CodeCount& count = work.codes[static_cast<std::size_t>(k)];
            ++count.observed;
            if (above) ++count.present;
            const int16_t s = snr_of_code[static_cast<std::size_t>(k)];
            if (s < 0 || !(o.value() > 0.0)) continue;
            SnrAccumulator& snr = work.snr[static_cast<std::size_t>(s)];
            if (above || !elevations) {
                snr.sum += o.value();
                ++snr.count;
            }
            if (elevation >= 0.0 && elevation <= 90.0) {
                const std::size_t b = bin_of(elevation);
                snr.bin_sum[b] += o.value();
                ++snr.bin_count[b];
            }
        }
    }
}

}  // namespace

SatelliteWork satellite_work(const SatelliteContext& context, Satellite satellite, const SatelliteTrack* track) {
    SatelliteWork work;
    work.facts.satellite = satellite;
    const bool elevations = context.receiver.has_value();
    if (elevations) {
        const LookAngleFrame frame(*context.receiver);
        OrbitCursor cursor(context.orbit);
        SatellitePasses passes = find_passes(cursor, context.orbit.broadcast, satellite, frame, context.grid);
        work.positioned = passes.positioned;
        work.unhealthy = passes.unhealthy;
        if (passes.positioned) {
            work.facts.passes = std::move(passes.passes);
            if (context.interval) work.facts.expected = expected_in_passes(work.facts.passes, *context.interval);
        }
        if (track) entry_angles(cursor, *context.receiver, *track, work);
    }
    if (!track) return work;
    work.facts.epochs = track->entries.size();
    if (!track->times_ms.empty()) {
        const auto [lo, hi] = std::minmax_element(track->times_ms.begin(), track->times_ms.end());
        work.facts.first_ms = *lo;
        work.facts.last_ms = *hi;
    }
    work.facts.tracked = tracked_runs(context, *track);
    count_observations(context, *track, elevations && work.positioned, work);
    return work;
}

}  // namespace skyrift
