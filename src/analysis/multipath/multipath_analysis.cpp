#include "analysis/multipath/multipath_analysis.hpp"

#include <algorithm>
#include <iterator>
#include <numeric>

#include "analysis/common/epoch_sampling.hpp"
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
    }

    // Appends the pair's estimates; returns the number of slip-caused arc breaks.
    uint64_t emit(const SatelliteTrack& track, const MpSignalPair& pair, std::vector<EstimateRecord>& out) {
        build_mp_series(obs_, track, pair, series_);
        // The combination holds both phases: a slip of either shifts it.
        const std::span<const int64_t> own = slip_times(track.satellite, pair.phase);
        const std::span<const int64_t> partner = slip_times(track.satellite, pair.partner);
        slip_union_.clear();
        std::set_union(own.begin(), own.end(), partner.begin(), partner.end(), std::back_inserter(slip_union_));
        const MultipathArcSplit split = split_multipath_arcs(series_.times_ms, series_.values, slip_union_, rules_);
        for (const MultipathArc& arc : split.kept) emit_arc(track, pair, arc, out);
        return split.slip_breaks;
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
// estimate's elevation (the placeholder where there is none), keeping the order.
void apply_elevations(const AnalyzerConfig& config, AnalysisOutput& output, std::vector<KeyGroup>& groups) {
    std::vector<EstimateRecord>& estimates = output.estimates;
    std::vector<uint8_t> positioned;
    if (config.orbit) {
        const EstimateAngles angles =
            estimate_look_angles(estimates, config.orbit.source(), config.receiver, HorizonRule::Any);
        positioned.resize(estimates.size());
        for (std::size_t i = 0; i < estimates.size(); ++i) {
            if (!angles[i]) continue;
            estimates[i].elevation = angles[i]->elevation;
            estimates[i].azimuth = angles[i]->azimuth;
            positioned[i] = 1;
        }
        output.estimates_without_position = 0;
    }
    std::size_t kept = 0, begin = 0;
    for (KeyGroup& group : groups) {
        for (std::size_t i = begin; i < group.end; ++i) {
            if (estimates[i].elevation < config.elevation_cutoff) continue;
            if (config.orbit && !positioned[i]) ++*output.estimates_without_position;
            estimates[kept++] = estimates[i];
        }
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

    const std::vector<MpSignalPair> pairs =
        select_signal_pairs(tracks, {config.systems, config.include_codes, config.exclude_codes});
    const std::vector<KeyedPair> keyed = pairs_by_key(tracks, pairs);
    EstimateEmitter emitter(config, obs, slips, gap);
    std::vector<KeyGroup> groups;
    for (std::size_t k = 0; k < keyed.size();) {
        KeyGroup group{keyed[k].key, 0, 0};
        std::size_t end = k;
        for (; end < keyed.size() && keyed[end].key == keyed[k].key; ++end) {
            const MpSignalPair& pair = pairs[keyed[end].pair];
            group.slip_breaks += emitter.emit(tracks[pair.track], pair, output.estimates);
        }
        group.end = output.estimates.size();
        groups.push_back(std::move(group));
        k = end;
    }
    apply_elevations(config, output, groups);
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
