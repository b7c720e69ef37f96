#include "analysis/multipath/multipath_analysis.hpp"

#include <algorithm>
#include <iterator>
#include <numeric>

#include "analysis/common/epoch_sampling.hpp"
#include "analysis/multipath/empty_reasons.hpp"
#include "analysis/multipath/multipath_arcs.hpp"
#include "analysis/multipath/multipath_series.hpp"
#include "analysis/multipath/multipath_stats.hpp"
#include "analysis/multipath/result_elevations.hpp"
#include "analysis/multipath/signal_pairs.hpp"
#include "navigation/look_angles_batch.hpp"
#include "utils/worker_pool.hpp"

namespace skyrift {

namespace {

// What one satellite's signal pair gave: its estimates after the elevations and the
// cutoff, with arcs numbered from 0 (the driver adds the arcs of the pairs before it).
struct PairOutcome {
    std::vector<EstimateRecord> estimates;
    std::vector<uint32_t> track_entries;  // per emitted estimate: its index into the track's entries
    uint32_t arcs = 0;                    // arcs emitted
    uint64_t slip_breaks = 0;
    SignalStop stop = SignalStop::Emitted;
    KeyCount count;                       // what the elevations and the cutoff did
    uint64_t unpositioned = 0;            // counted as without position (dropped or kept)
};

// Everything one pool task computes for one satellite.
struct TrackOutcome {
    SlipDetection slips;
    std::vector<PairOutcome> pairs;  // the track's pairs, in selection order
};

class EstimateEmitter {
public:
    EstimateEmitter(const AnalyzerConfig& config, const SlipDetection& slips, double gap_seconds)
        : config_(config), slips_(slips) {
        rules_.gap_seconds = gap_seconds;
        rules_.jump_limit = config.mp_jump_limit;
        rules_.min_arc_seconds = config.min_arc;
        rules_.min_points = static_cast<std::size_t>(config.min_arc_points);
    }

    // The pair's estimates, with the slip-caused arc breaks and how far it got.
    PairOutcome emit(const TrackColumns& columns, const SatelliteTrack& track, const MpSignalPair& pair) {
        PairOutcome out;
        build_mp_series(columns, track, pair, series_);
        if (series_.size() == 0) {
            out.stop = SignalStop::NoCommonEpoch;
            return out;
        }
        out.estimates.reserve(series_.size());
        out.track_entries.reserve(series_.size());
        // The combination holds both phases: a slip of either shifts it.
        const std::span<const int64_t> own = slip_times(track.satellite, pair.phase);
        const std::span<const int64_t> partner = slip_times(track.satellite, pair.partner);
        slip_union_.clear();
        std::set_union(own.begin(), own.end(), partner.begin(), partner.end(), std::back_inserter(slip_union_));
        const MultipathArcSplit split = split_multipath_arcs(series_.times_ms, series_.values, slip_union_, rules_);
        for (const MultipathArc& arc : split.kept) emit_arc(track, pair, arc, out);
        out.slip_breaks = split.slip_breaks;
        out.stop = split.kept.empty() ? SignalStop::NoArc : SignalStop::Emitted;
        return out;
    }

private:
    std::span<const int64_t> slip_times(Satellite satellite, ObservationCode phase) const {
        const auto found = slips_.slip_epochs.find({satellite, phase});
        if (found == slips_.slip_epochs.end()) return {};
        return found->second;
    }

    void emit_arc(const SatelliteTrack& track, const MpSignalPair& pair, MultipathArc arc, PairOutcome& out) {
        const std::size_t n = arc.end - arc.begin;
        residuals_.resize(n);
        remove_arc_bias(std::span(series_.times_ms).subspan(arc.begin, n),
                        std::span(series_.values).subspan(arc.begin, n), config_.bias_window, residuals_);
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t i = arc.begin + j;
            EstimateRecord e;
            e.satellite = track.satellite;
            e.time_ms = series_.times_ms[i];
            e.mp_value = residuals_[j];
            e.elevation = kPlaceholderElevation;
            e.azimuth = 0.0;
            e.has_snr = config_.attach_snr && series_.has_snr[i];
            e.snr = e.has_snr ? series_.snr[i] : 0.0;
            e.signal = pair.code;
            e.source = track.entries[series_.track_entries[i]];
            e.arc = out.arcs;
            e.arc_start = arc.start;
            out.estimates.push_back(e);
            out.track_entries.push_back(series_.track_entries[i]);
        }
        ++out.arcs;
    }

    const AnalyzerConfig& config_;
    const SlipDetection& slips_;
    MultipathArcRules rules_;
    MpSeries series_;
    std::vector<int64_t> slip_union_;
    std::vector<double> residuals_;
};

SignalStop stop_of(PairGap gap) {
    switch (gap) {
        case PairGap::NoPhase: return SignalStop::NoPhase;
        case PairGap::NoFrequency: return SignalStop::NoFrequency;
        case PairGap::NoSecondFrequency: return SignalStop::NoSecondFrequency;
    }
    return SignalStop::NoPhase;
}

SlipSettings slip_settings(const AnalyzerConfig& config) {
    SlipSettings s;
    s.ion_delta_base = config.ion_delta_base;
    s.ion_delta_rate = config.ion_delta_rate;
    s.cp_delta_base = config.cp_delta_base;
    s.cp_delta_rate = config.cp_delta_rate;
    s.max_gap = config.max_slip_gap;
    s.use_lli = config.use_lli;
    s.compare_across_holes = config.slip_tests_across_holes;
    return s;
}

// Real look angles, asked once per epoch of the satellite whatever the number of its
// signals, through a cursor of the task's own. Positions do not depend on the order of
// the queries nor on the cursor, so every split of the work gives the same angles.
void apply_look_angles(const AnalyzerConfig& config, const SatelliteTrack& track, std::vector<PairOutcome>& pairs) {
    EntryQueries table(track.entries.size());  // keyed by the index into the track's entries
    for (const PairOutcome& pair : pairs)
        for (const uint32_t k : pair.track_entries) table.ask(k, track.satellite, track.times_ms[k]);
    if (table.queries().empty()) return;
    OrbitCursor cursor(config.orbit.source());
    const LookAngleBatch batch = compute_look_angles(cursor, table.queries(), config.receiver, HorizonRule::Any);
    for (PairOutcome& pair : pairs) {
        for (std::size_t i = 0; i < pair.estimates.size(); ++i) {
            const auto& angles = batch.angles[table[pair.track_entries[i]]];
            if (!angles) continue;
            EstimateRecord& e = pair.estimates[i];
            e.elevation = angles->elevation;
            e.azimuth = angles->azimuth;
            e.positioned = true;
        }
    }
}

// The cutoff on every estimate's elevation, keeping the order. With an orbit, an
// estimate it has no position for is left out (unless the caller keeps it with the
// placeholder); without one every estimate carries the placeholder and the cutoff acts on that.
void apply_cutoff(const AnalyzerConfig& config, PairOutcome& pair) {
    const bool drop_unpositioned = config.orbit && !config.keep_estimates_without_position;
    std::size_t kept = 0;
    for (const EstimateRecord& e : pair.estimates) {
        const bool unpositioned = config.orbit && !e.positioned;
        if (unpositioned && drop_unpositioned) {
            ++pair.count.without_position;
            ++pair.unpositioned;
            continue;
        }
        if (e.elevation < config.elevation_cutoff) {
            ++pair.count.below_cutoff;
            continue;
        }
        ++pair.count.kept;
        if (unpositioned) ++pair.unpositioned;  // kept with the placeholder, as asked
        pair.estimates[kept++] = e;
    }
    pair.estimates.resize(kept);
    pair.track_entries = {};
}

// One satellite: its slips, then every pair's series, arcs and estimates, then look
// angles and the cutoff. Reads only shared inputs, so tracks run on the pool side by side.
TrackOutcome analyse_track(const AnalyzerConfig& config, const RinexObsData& obs, const SatelliteTrack& track,
                           std::span<const MpSignalPair> pairs, double gap) {
    TrackOutcome out;
    if (config.detect_cycle_slips) out.slips = detect_track_slips(obs, track, slip_settings(config));
    EstimateEmitter emitter(config, out.slips, gap);
    std::vector<ObservationCode> codes;
    for (const MpSignalPair& pair : pairs)
        for (const ObservationCode& code : codes_of_pair(pair)) codes.push_back(code);
    const TrackColumns columns(obs, track, std::move(codes));
    out.pairs.reserve(pairs.size());
    for (const MpSignalPair& pair : pairs) out.pairs.push_back(emitter.emit(columns, track, pair));
    if (config.orbit) apply_look_angles(config, track, out.pairs);
    for (PairOutcome& pair : out.pairs) apply_cutoff(config, pair);
    return out;
}

// The pairs of each track: selection.pairs lists them track by track.
std::vector<std::span<const MpSignalPair>> pairs_of_tracks(std::size_t num_tracks,
                                                           const std::vector<MpSignalPair>& pairs) {
    std::vector<std::span<const MpSignalPair>> of_track(num_tracks);
    for (std::size_t i = 0; i < pairs.size();) {
        std::size_t end = i;
        while (end < pairs.size() && pairs[end].track == pairs[i].track) ++end;
        of_track[pairs[i].track] = std::span(pairs.data() + i, end - i);
        i = end;
    }
    return of_track;
}

struct KeyedPair {
    std::string key;
    std::size_t track = 0;
    std::size_t pair = 0;  // index among the track's pairs
};

// Pairs grouped by series key (byte order), keeping satellite order within a key.
std::vector<KeyedPair> pairs_by_key(const std::vector<SatelliteTrack>& tracks,
                                    const std::vector<std::span<const MpSignalPair>>& of_track) {
    std::vector<KeyedPair> keyed;
    for (std::size_t t = 0; t < of_track.size(); ++t)
        for (std::size_t i = 0; i < of_track[t].size(); ++i)
            keyed.push_back({series_key(tracks[t].satellite.system, of_track[t][i].code), t, i});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const KeyedPair& a, const KeyedPair& b) { return a.key < b.key; });
    return keyed;
}

// The estimates of one series key: [begin, end) of the estimate list.
struct KeyGroup {
    std::string key;
    std::size_t begin = 0, end = 0;
    uint64_t slip_breaks = 0;
};

// The tasks' results in series-key order: estimates with arcs numbered across the whole
// analysis, fates, counts and groups, exactly as one pass in that order makes them.
std::vector<KeyGroup> assemble(const std::vector<KeyedPair>& keyed,
                               std::vector<TrackOutcome>& outcomes, AnalysisOutput& output, AnalysisTrace& trace) {
    struct Placement {
        PairOutcome* pair;
        std::size_t at;
        uint32_t first_arc;
    };
    std::vector<Placement> placements;
    placements.reserve(keyed.size());
    std::vector<KeyGroup> groups;
    std::size_t total = 0;
    uint32_t arcs = 0;
    for (std::size_t k = 0; k < keyed.size();) {
        KeyGroup group{keyed[k].key, total, total, 0};
        KeyCount count;
        std::size_t end = k;
        for (; end < keyed.size() && keyed[end].key == keyed[k].key; ++end) {
            PairOutcome& pair = outcomes[keyed[end].track].pairs[keyed[end].pair];
            placements.push_back({&pair, total, arcs});
            total += pair.estimates.size();
            arcs += pair.arcs;
            group.slip_breaks += pair.slip_breaks;
            count.kept += pair.count.kept;
            count.without_position += pair.count.without_position;
            count.below_cutoff += pair.count.below_cutoff;
        }
        if (count.kept + count.without_position + count.below_cutoff > 0) trace.keys[group.key] = count;
        group.end = total;
        groups.push_back(std::move(group));
        k = end;
    }
    output.estimates.resize(total);
    WorkerPool::instance().parallel_for(placements.size(), [&](std::size_t i) {
        const Placement& p = placements[i];
        EstimateRecord* into = output.estimates.data() + p.at;
        for (const EstimateRecord& e : p.pair->estimates) {
            *into = e;
            into->arc += p.first_arc;
            ++into;
        }
        p.pair->estimates = {};
    });
    return groups;
}

}  // namespace

Result<AnalysisOutput> run_multipath_analysis(const AnalyzerConfig& config) {
    if (!config.obs_data) return GnssError::insufficient_data("no observation data");
    const RinexObsData& obs = *config.obs_data;
    const std::vector<uint32_t> epochs = analysed_epochs(obs.epochs.size(), config.max_epochs);
    const double gap = gap_threshold(config.arc_gap_factor, sampling_interval(obs, epochs));
    const std::vector<SatelliteTrack> tracks = collect_tracks(obs, epochs);

    const SignalSelection selection =
        select_signal_pairs(tracks, {config.systems, config.include_codes, config.exclude_codes});
    const auto of_track = pairs_of_tracks(tracks.size(), selection.pairs);
    std::vector<TrackOutcome> outcomes = parallel_map(tracks.size(), [&](std::size_t t) {
        return analyse_track(config, obs, tracks[t], of_track[t], gap);
    });

    AnalysisOutput output;
    if (config.orbit) output.estimates_without_position = 0;
    AnalysisTrace trace;
    for (const UnpairedSignal& u : selection.unpaired) {
        const Satellite satellite = tracks[u.track].satellite;
        trace.fates.push_back({series_key(satellite.system, u.code), satellite, stop_of(u.gap)});
    }
    const std::vector<KeyedPair> keyed = pairs_by_key(tracks, of_track);
    for (const KeyedPair& k : keyed) {
        const PairOutcome& pair = outcomes[k.track].pairs[k.pair];
        trace.fates.push_back({k.key, tracks[k.track].satellite, pair.stop});
        if (pair.unpositioned == 0) continue;
        *output.estimates_without_position += pair.unpositioned;
        output.without_position_by_system[std::string(system_abbreviation(tracks[k.track].satellite.system))] +=
            pair.unpositioned;
    }
    const std::vector<KeyGroup> groups = assemble(keyed, outcomes, output, trace);
    output.empty_reasons = empty_reasons(config, obs, epochs, tracks, trace);
    const auto statistics = parallel_map(groups.size(), [&](std::size_t g) -> std::optional<StatsRecord> {
        const KeyGroup& group = groups[g];
        if (group.end == group.begin) return std::nullopt;
        const std::span<const EstimateRecord> estimates(output.estimates.data() + group.begin, group.end - group.begin);
        return compute_statistics(group.key, estimates, group.slip_breaks, config.elevation_weighting);
    });
    for (const auto& s : statistics)
        if (s) output.statistics.push_back(*s);
    std::vector<SlipDetection> slips;
    slips.reserve(outcomes.size());
    for (TrackOutcome& o : outcomes) slips.push_back(std::move(o.slips));
    SlipDetection merged = merge_slip_detections(std::move(slips));
    output.slips = std::move(merged.slips);
    output.slip_counts = std::move(merged.counts);
    return output;
}

}  // namespace skyrift
