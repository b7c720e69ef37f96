#include "analysis/multipath/empty_reasons.hpp"

#include <algorithm>
#include <optional>

#include "analysis/multipath/multipath_results.hpp"
#include "analysis/multipath/signal_pairs.hpp"
#include "utils/format.hpp"

namespace skyrift {

namespace {

std::string stop_text(SignalStop stop, const AnalyzerConfig& config) {
    switch (stop) {
        case SignalStop::NoPhase: return "no carrier phase";
        case SignalStop::NoFrequency: return "no known carrier frequency";
        case SignalStop::NoSecondFrequency: return "no second frequency";
        case SignalStop::NoCommonEpoch: return "no epoch with the code and both phases";
        case SignalStop::NoArc: {
            std::string text = "no arc of " + std::to_string(config.min_arc_points) + " points";
            if (config.min_arc > 0.0) text += " and " + fmt_float(config.min_arc) + " s";
            return text;
        }
        case SignalStop::Emitted: break;
    }
    return {};
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty()) out += separator;
        out += p;
    }
    return out;
}

std::string system_names(const std::vector<GnssSystem>& systems) {
    std::vector<std::string> names;
    for (const GnssSystem s : systems) {
        std::string name(system_abbreviation(s));
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    return joined(names, ", ");
}

// Reasons no arc can exist in the analysed epochs at all.
std::vector<std::string> arcs_impossible(const AnalyzerConfig& config, const RinexObsData& obs,
                                         const std::vector<uint32_t>& epochs) {
    std::vector<std::string> reasons;
    const bool decimated = epochs.size() < obs.epochs.size();
    int64_t first = obs.epochs[epochs.front()].instant_ms, last = first;
    for (const uint32_t e : epochs) {
        first = std::min(first, obs.epochs[e].instant_ms);
        last = std::max(last, obs.epochs[e].instant_ms);
    }
    const double span = static_cast<double>(last - first) / 1000.0;
    if (span < config.min_arc)
        reasons.push_back(std::string(decimated ? "the analysed epochs span " : "the file spans ") + fmt_float(span) +
                          " s, shorter than min_arc_seconds (" + fmt_float(config.min_arc) + " s)");
    if (epochs.size() < config.min_arc_points)
        reasons.push_back("arcs need " + std::to_string(config.min_arc_points) + " points; " +
                          (decimated ? "max_epochs leaves " : "the file has ") + std::to_string(epochs.size()) +
                          " epochs");
    return reasons;
}

// Why nothing was selected at all, before any signal is looked at.
std::optional<std::string> nothing_selected(const AnalyzerConfig& config, const RinexObsData& obs,
                                            const std::vector<SatelliteTrack>& tracks, const AnalysisTrace& trace) {
    if (obs.epochs.empty()) return "the file has no epochs";
    if (config.systems.empty()) return "systems names no known constellation";
    const PairFilter filter{config.systems, {}, {}};
    bool any_satellite = false, any_pseudorange = false;
    for (const SatelliteTrack& track : tracks) {
        if (!system_selected(filter, track.satellite.system)) continue;
        any_satellite = true;
        any_pseudorange = any_pseudorange || !codes_of_kind(track.codes, ObservationKind::C).empty();
    }
    if (!any_satellite) return "no satellite of the analysed systems (" + system_names(config.systems) + ")";
    if (!any_pseudorange) return "no pseudorange observations of the analysed systems";
    if (trace.fates.empty()) return "include_codes and exclude_codes leave no pseudorange";
    return std::nullopt;
}

std::string cutoff_text(const KeyCount& count, const AnalyzerConfig& config) {
    std::vector<std::string> parts;
    if (count.without_position) parts.push_back(std::to_string(count.without_position) + " estimates without orbit position");
    if (count.below_cutoff)
        parts.push_back(std::to_string(count.below_cutoff) + " estimates below the elevation cutoff (" +
                        fmt_float(config.elevation_cutoff) + " deg)");
    return joined(parts, "; ");
}

// The distinct stops of one key's satellites, each with its satellites unless one stop
// holds for all of them. Missing arcs are left to the file's reason when it has one.
std::string stops_text(const std::vector<const SignalFate*>& fates, const AnalyzerConfig& config,
                       bool file_has_no_arcs) {
    std::map<SignalStop, std::vector<std::string>> by_stop;
    bool all_listed = true;
    for (const SignalFate* f : fates) {
        if (f->stop == SignalStop::NoArc && file_has_no_arcs) {
            all_listed = false;
            continue;
        }
        by_stop[f->stop].push_back(f->satellite.id());
    }
    if (by_stop.empty()) return {};
    if (by_stop.size() == 1 && all_listed) return stop_text(by_stop.begin()->first, config);
    std::vector<std::string> parts;
    for (const auto& [stop, satellites] : by_stop)
        parts.push_back(stop_text(stop, config) + " (" + joined(satellites, " ") + ")");
    return joined(parts, "; ");
}

}  // namespace

std::map<std::string, std::string> empty_reasons(const AnalyzerConfig& config, const RinexObsData& obs,
                                                 const std::vector<uint32_t>& epochs,
                                                 const std::vector<SatelliteTrack>& tracks,
                                                 const AnalysisTrace& trace) {
    std::map<std::string, std::string> reasons;
    uint64_t kept = 0, emitted = 0;
    for (const auto& [key, count] : trace.keys) {
        kept += count.kept;
        emitted += count.kept + count.without_position + count.below_cutoff;
    }
    if (kept == 0) {
        if (auto why = nothing_selected(config, obs, tracks, trace)) {
            reasons["file"] = *why;
            return reasons;
        }
    }
    const std::vector<std::string> no_arcs = arcs_impossible(config, obs, epochs);
    const bool placeholder_cut = !config.orbit && emitted > 0 && kept == 0 && kPlaceholderElevation < config.elevation_cutoff;
    if (!no_arcs.empty()) {
        reasons["file"] = joined(no_arcs, "; ");
    } else if (placeholder_cut) {
        reasons["file"] = "without an orbit every estimate has the placeholder elevation " +
                          fmt_float(kPlaceholderElevation) + " deg, below elevation_cutoff (" +
                          fmt_float(config.elevation_cutoff) + " deg)";
    }

    std::map<std::string, std::vector<const SignalFate*>> by_key;
    for (const SignalFate& f : trace.fates) by_key[f.key].push_back(&f);
    for (const auto& [key, fates] : by_key) {
        const auto count = trace.keys.find(key);
        if (count != trace.keys.end()) {
            if (count->second.kept == 0 && !placeholder_cut) reasons[key] = cutoff_text(count->second, config);
            continue;
        }
        // The file's own reason already says why no arc formed anywhere.
        if (std::string text = stops_text(fates, config, !no_arcs.empty()); !text.empty()) reasons[key] = text;
    }
    return reasons;
}

}  // namespace skyrift
