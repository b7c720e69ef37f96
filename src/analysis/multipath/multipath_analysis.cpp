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

namespace skyrift {

namespace {

constexpr double kProvisionalElevation = 45.0;

struct KeyedPair {
    std::string key;
    std::size_t pair;
};

// Pairs grouped by series key (byte order), keeping satellite order within a key.
std::vector<KeyedPair> pairs_by_key(const std::vector<SatelliteTrack>& tracks,
                                    const std::vector<MpSignalPair>& pairs) {
    std::vector<KeyedPair> keyed;
    for (std::size_t i = 0; i < pairs.size(); ++i)
        keyed.push_back({series_key(tracks[pairs[i].track].satellite.system, pairs[i].code), i});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const KeyedPair& a, const KeyedPair& b) { return a.key < b.key; });
    return keyed;
}

class EstimateEmitter {
public:
    EstimateEmitter(const AnalyzerConfig& config, const RinexObsData& obs, const SlipDetection& slips,
                    double gap_seconds)
        : config_(config), obs_(obs), slips_(slips) {
        rules_.gap_seconds = gap_seconds;
        rules_.jump_limit = config.mp_jump_limit;
        rules_.min_arc_seconds = config.min_arc;
        rules_.min_points = static_cast<std::size_t>(config.min_arc_points);
    }

    struct Emitted {
        uint64_t slip_breaks = 0;
        SignalStop stop = SignalStop::Emitted;
    };

    // Appends the pair's estimates; tells the slip-caused arc breaks and how far it got.
    Emitted emit(const SatelliteTrack& track, const MpSignalPair& pair, std::vector<EstimateRecord>& out) {
        build_mp_series(obs_, track, pair, series_);
        if (series_.size() == 0) return {0, SignalStop::NoCommonEpoch};
        // The combination holds both phases: a slip of either shifts it.
        const std::span<const int64_t> own = slip_times(track.satellite, pair.phase);
        const std::span<const int64_t> partner = slip_times(track.satellite, pair.partner);
        slip_union_.clear();
        std::set_union(own.begin(), own.end(), partner.begin(), partner.end(), std::back_inserter(slip_union_));
        const MultipathArcSplit split = split_multipath_arcs(series_.times_ms, series_.values, slip_union_, rules_);
        for (const MultipathArc& arc : split.kept) emit_arc(track, pair, arc, out);
        return {split.slip_breaks, split.kept.empty() ? SignalStop::NoArc : SignalStop::Emitted};
    }

private:
    std::span<const int64_t> slip_times(Satellite satellite, ObservationCode phase) const {
        const auto found = slips_.slip_epochs.find({satellite, phase});
        if (found == slips_.slip_epochs.end()) return {};
        return found->second;
    }

    void emit_arc(const SatelliteTrack& track, const MpSignalPair& pair, MultipathArc arc,
                  std::vector<EstimateRecord>& out) {
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
            e.elevation = kProvisionalElevation;
            e.azimuth = 0.0;
            e.has_snr = config_.attach_snr && series_.has_snr[i];
            e.snr = e.has_snr ? series_.snr[i] : 0.0;
            e.signal = pair.code;
            e.source = series_.sources[i];
            e.arc = next_arc_;
            e.arc_start = arc.start;
            out.push_back(e);
        }
        ++next_arc_;
    }

    const AnalyzerConfig& config_;
    const RinexObsData& obs_;
    const SlipDetection& slips_;
    MultipathArcRules rules_;
    MpSeries series_;
    std::vector<int64_t> slip_union_;
    std::vector<double> residuals_;
    uint32_t next_arc_ = 0;
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

// The estimates of one series key: [previous group's end, end) of the estimate list.
struct KeyGroup {
    std::string key;
    std::size_t end = 0;
    uint64_t slip_breaks = 0;
};

// Real look angles where the orbit knows the satellite, then the cutoff on every
// estimate's elevation, keeping the order. With an orbit, an estimate it has no position
// for is left out (unless the caller keeps it with the placeholder); without one every
// estimate carries the placeholder and the cutoff acts on that.
void apply_elevations(const AnalyzerConfig& config, AnalysisOutput& output, std::vector<KeyGroup>& groups,
                      AnalysisTrace& trace) {
    std::vector<EstimateRecord>& estimates = output.estimates;
    if (config.orbit) {
        const EstimateAngles angles =
            estimate_look_angles(estimates, config.orbit.source(), config.receiver, HorizonRule::Any);
        for (std::size_t i = 0; i < estimates.size(); ++i) {
            if (!angles[i]) continue;
            estimates[i].elevation = angles[i]->elevation;
            estimates[i].azimuth = angles[i]->azimuth;
            estimates[i].positioned = true;
        }
        output.estimates_without_position = 0;
    }
    const bool drop_unpositioned = config.orbit && !config.keep_estimates_without_position;
    auto count_unpositioned = [&](const EstimateRecord& e) {
        ++*output.estimates_without_position;
        ++output.without_position_by_system[std::string(system_abbreviation(e.satellite.system))];
    };
    std::size_t kept = 0, begin = 0;
    for (KeyGroup& group : groups) {
        KeyCount count;
        for (std::size_t i = begin; i < group.end; ++i) {
            const EstimateRecord& e = estimates[i];
            const bool unpositioned = config.orbit && !e.positioned;
            if (unpositioned && drop_unpositioned) {
                ++count.without_position;
                count_unpositioned(e);
                continue;
            }
            if (e.elevation < config.elevation_cutoff) {
                ++count.below_cutoff;
                continue;
            }
            ++count.kept;
            if (unpositioned) count_unpositioned(e);  // kept with the placeholder, as asked
            estimates[kept++] = e;
        }
        if (group.end > begin) trace.keys[group.key] = count;
        begin = group.end;
        group.end = kept;
    }
    estimates.resize(kept);
}

}  // namespace

Result<AnalysisOutput> run_multipath_analysis(const AnalyzerConfig& config) {
    if (!config.obs_data) return GnssError::insufficient_data("no observation data");
    const RinexObsData& obs = *config.obs_data;
    const std::vector<uint32_t> epochs = analysed_epochs(obs.epochs.size(), config.max_epochs);
    const double gap = gap_threshold(config.arc_gap_factor, sampling_interval(obs, epochs));
    const std::vector<SatelliteTrack> tracks = collect_tracks(obs, epochs);

    AnalysisOutput output;
    SlipDetection slips;
    if (config.detect_cycle_slips) slips = detect_cycle_slips(obs, tracks, slip_settings(config));

    const SignalSelection selection =
        select_signal_pairs(tracks, {config.systems, config.include_codes, config.exclude_codes});
    const std::vector<MpSignalPair>& pairs = selection.pairs;
    AnalysisTrace trace;
    for (const UnpairedSignal& u : selection.unpaired) {
        const Satellite satellite = tracks[u.track].satellite;
        trace.fates.push_back({series_key(satellite.system, u.code), satellite, stop_of(u.gap)});
    }
    const std::vector<KeyedPair> keyed = pairs_by_key(tracks, pairs);
    EstimateEmitter emitter(config, obs, slips, gap);
    std::vector<KeyGroup> groups;
    for (std::size_t k = 0; k < keyed.size();) {
        KeyGroup group{keyed[k].key, 0, 0};
        std::size_t end = k;
        for (; end < keyed.size() && keyed[end].key == keyed[k].key; ++end) {
            const MpSignalPair& pair = pairs[keyed[end].pair];
            const auto emitted = emitter.emit(tracks[pair.track], pair, output.estimates);
            group.slip_breaks += emitted.slip_breaks;
            trace.fates.push_back({group.key, tracks[pair.track].satellite, emitted.stop});
        }
        group.end = output.estimates.size();
        groups.push_back(std::move(group));
        k = end;
    }
    apply_elevations(config, output, groups, trace);
    output.empty_reasons = empty_reasons(config, obs, epochs, tracks, trace);
    std::size_t begin = 0;
    for (const KeyGroup& group : groups) {
        const std::span<const EstimateRecord> estimates(output.estimates.data() + begin, group.end - begin);
        if (!estimates.empty())
            output.statistics.push_back(
                compute_statistics(group.key, estimates, group.slip_breaks, config.elevation_weighting));
        begin = group.end;
    }
    output.slips = std::move(slips.slips);
    output.slip_counts = std::move(slips.counts);
    return output;
}

}  // namespace skyrift
