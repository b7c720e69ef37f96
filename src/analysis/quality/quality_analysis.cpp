#include "analysis/quality/quality_analysis.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/common/satellite_tracks.hpp"
#include "analysis/multipath/multipath_analysis.hpp"
#include "analysis/quality/clock_jumps.hpp"
#include "analysis/quality/epoch_completeness.hpp"
#include "analysis/quality/file_facts.hpp"
#include "analysis/quality/satellite_observations.hpp"
#include "analysis/quality/signal_table.hpp"
#include "analysis/quality/slip_events.hpp"
#include "analysis/quality/system_summary.hpp"
#include "navigation/orbit_coverage.hpp"
#include "navigation/receiver_check.hpp"
#include "utils/worker_pool.hpp"

namespace skyrift {

namespace {

constexpr const char* kWithoutElevations =
    ": expected observations, completeness, observations above the cutoff, times above the cutoff and the SNR "
    "elevation bins are absent, and slips, observations per slip, multipath and mean SNR cover every elevation";

std::string orbit_kind(const SharedOrbit& orbit) {
    if (orbit.precise && orbit.broadcast) return "precise+broadcast";
    if (orbit.precise) return "precise";
    if (orbit.broadcast) return "broadcast";
    return "";
}

// In the order of GnssSystem: GPS, GLONASS, Galileo, BeiDou, QZSS, SBAS, NavIC.
std::vector<GnssSystem> systems_of(const std::vector<SatelliteTrack>& tracks) {
    std::vector<GnssSystem> systems;
    for (const SatelliteTrack& t : tracks)
        if (std::find(systems.begin(), systems.end(), t.satellite.system) == systems.end())
            systems.push_back(t.satellite.system);
    std::sort(systems.begin(), systems.end());
    return systems;
}

// Where elevations are seen from, or why there are none; and, when the orbit covers only
// part of the observations, the analyzer's warning as a note.
struct Viewpoint {
    std::optional<Ecef> receiver;
    std::string reason;   // empty when `receiver` is set
    std::string partial;  // the share of the observations the orbit covers, when short of all
};

// The analyzer's two checks (receiver, orbit coverage) with their texts, reported
// instead of raised.
Viewpoint viewpoint(const QualityInput& input, const FileFacts& file) {
    auto without = [](const std::string& why) {
        return Viewpoint{std::nullopt, "elevations: " + why + kWithoutElevations, ""};
    };
    if (!input.orbit) return without("no orbit was given");
    std::optional<Ecef> position = input.receiver;
    if (!position && input.obs->header.approx_position) {
        const auto& [x, y, z] = *input.obs->header.approx_position;
        position = Ecef{x, y, z};
    }
    if (!position) return without("the file has no APPROX POSITION XYZ and no receiver was given");
    const auto receiver = checked_receiver(*position, input.receiver ? "receiver" : "the file's APPROX POSITION XYZ");
    if (!receiver) return without(receiver.error().message());
    const auto coverage = require_orbit_overlap(input.orbit.source(), {*file.first_ms, *file.last_ms}, "observations");
    if (!coverage) return without(coverage.error().message());
    return {position, "", coverage->share < 1.0 ? "orbit: " + partial_coverage_text(*coverage, "observations") : ""};
}

// Every observed satellite, and with elevations every satellite of the file's systems
// the orbit knows, in satellite order; the index of each one's track or -1.
struct SatelliteList {
    std::vector<Satellite> satellites;
    std::vector<std::ptrdiff_t> track;
};

SatelliteList satellite_list(const std::vector<SatelliteTrack>& tracks, const std::vector<GnssSystem>& systems,
                             const SharedOrbit& orbit, bool elevations) {
    std::vector<Satellite> all;
    for (const SatelliteTrack& t : tracks) all.push_back(t.satellite);
    if (elevations) {
        auto add = [&](const std::vector<Satellite>& known) {
            for (const Satellite& s : known)
                if (std::find(systems.begin(), systems.end(), s.system) != systems.end()) all.push_back(s);
        };
        if (orbit.precise) add(orbit.precise->satellites());
        if (orbit.broadcast) add(orbit.broadcast->satellites());
    }
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    SatelliteList out{all, {}};
    for (const Satellite& s : all) {
        const auto it = std::lower_bound(tracks.begin(), tracks.end(), s,
                                         [](const SatelliteTrack& t, const Satellite& x) { return t.satellite < x; });
        out.track.push_back(it != tracks.end() && it->satellite == s ? it - tracks.begin() : -1);
    }
    return out;
}

// Per satellite entry: its epoch's place among the observation epochs.
std::vector<uint32_t> entry_epochs(const RinexObsData& obs, const std::vector<uint32_t>& epochs) {
    std::vector<uint32_t> out(obs.satellite_entries.size(), 0);
    for (uint32_t k = 0; k < epochs.size(); ++k) {
        const EpochRecord& e = obs.epochs[epochs[k]];
        for (uint32_t s = e.first_satellite; s < e.first_satellite + e.num_satellites; ++s) out[s] = k;
    }
    return out;
}

bool has_phases(const RinexObsData& obs) {
    for (const ObservationEntry& o : obs.observations)
        if (o.code.kind == ObservationKind::L) return true;
    return false;
}

// Marks the events outside the satellite's passes and counts each satellite's slip epochs;
// with elevations, a satellite the orbit never positions has no count.
void place_slips(std::vector<SlipEvent>& events, const SatelliteList& list, std::vector<SatelliteWork>& works,
                 bool elevations) {
    for (SatelliteWork& w : works) {
        if (elevations && !w.positioned) {
            w.facts.slips.reset();
        } else {
            w.facts.slips = 0;
        }
    }
    std::vector<int64_t> last(works.size(), std::numeric_limits<int64_t>::min());
    for (SlipEvent& e : events) {
        const auto it = std::lower_bound(list.satellites.begin(), list.satellites.end(), e.satellite);
        if (it == list.satellites.end() || !(*it == e.satellite)) continue;
        const auto i = static_cast<std::size_t>(it - list.satellites.begin());
        e.above = !elevations || within_passes(works[i].facts.passes, e.time_ms);
        if (e.above && last[i] != e.time_ms) {  // events come by time: one count per epoch
            ++*works[i].facts.slips;
            last[i] = e.time_ms;
        }
    }
}

// Observed satellite epochs the orbit gave no position for: by system where it gave
// none to any of the system's satellites, else by satellite.
std::string without_position_text(const std::vector<SatelliteWork>& works) {
    uint64_t missing = 0, total = 0;
    std::string names;
    auto add = [&](const std::string& name) { names += (names.empty() ? "" : ", ") + name; };
    for (std::size_t i = 0; i < works.size();) {
        const GnssSystem system = works[i].facts.satellite.system;
        std::size_t end = i;
        bool any_positioned = false;
        uint64_t system_missing = 0;
        for (; end < works.size() && works[end].facts.satellite.system == system; ++end) {
            total += works[end].facts.epochs;
            system_missing += works[end].without_position;
            any_positioned = any_positioned || (works[end].facts.epochs > works[end].without_position);
        }
        missing += system_missing;
        if (system_missing > 0 && !any_positioned) {
            add(std::string(system_name(system)) + " (every satellite)");
        } else {
            for (std::size_t k = i; k < end; ++k)
                if (works[k].without_position > 0)
                    add(works[k].facts.satellite.id() + " (" + std::to_string(works[k].without_position) + ")");
        }
        i = end;
    }
    if (missing == 0) return "";
    return "orbit: no position for " + std::to_string(missing) + " of " + std::to_string(total) +
           " observed satellite epochs, of " + names + ": they are not counted above the cutoff";
}

void scatter_angles(const SatelliteList& list, const std::vector<SatelliteTrack>& tracks,
                    const std::vector<SatelliteWork>& works, QualityReport& report) {
    const std::size_t n = report.obs->satellite_entries.size();
    report.entry_elevation.assign(n, std::numeric_limits<double>::quiet_NaN());
    report.entry_azimuth.assign(n, std::numeric_limits<double>::quiet_NaN());
    for (std::size_t i = 0; i < works.size(); ++i) {
        if (list.track[i] < 0 || works[i].elevation.empty()) continue;
        const SatelliteTrack& t = tracks[static_cast<std::size_t>(list.track[i])];
        for (std::size_t k = 0; k < t.entries.size(); ++k) {
            report.entry_elevation[t.entries[k]] = works[i].elevation[k];
            report.entry_azimuth[t.entries[k]] = works[i].azimuth[k];
        }
    }
}

// What the pool tasks produce.
struct TaskResults {
    std::optional<Result<AnalysisOutput>> multipath;  // absent without phases
    std::vector<ClockJump> jumps;
    std::vector<SatelliteTrack> tracks;
    std::vector<GnssSystem> systems;
    SatelliteList list;
    std::vector<SatelliteWork> works;
};

void satellite_tasks(const QualityInput& input, const QualityOptions& options, const QualityReport& report,
                     const std::vector<uint32_t>& epochs, const Viewpoint& view, TaskResults& r) {
    const RinexObsData& obs = *input.obs;
    r.systems = systems_of(r.tracks);
    r.list = satellite_list(r.tracks, r.systems, input.orbit, view.receiver.has_value());
    const std::vector<uint32_t> entry_epoch = entry_epochs(obs, epochs);
    const PassGrid grid{*report.file.first_ms, *report.file.last_ms, options.elevation_step, options.cutoff};
    const SatelliteContext context{obs, entry_epoch, input.orbit.source(), view.receiver, grid, report.file.interval};
    r.works = parallel_map(r.list.satellites.size(), [&](std::size_t i) {
        const std::ptrdiff_t t = r.list.track[i];
        return satellite_work(context, r.list.satellites[i], t < 0 ? nullptr : &r.tracks[static_cast<std::size_t>(t)]);
    });
}

// The multipath analysis is the longest task and goes first; the clock jumps and the
// satellites (one nested task each, after the tracks both read) fill the other workers
// meanwhile.
TaskResults run_tasks(const QualityInput& input, const QualityOptions& options, const QualityReport& report,
                      const std::vector<uint32_t>& epochs, const Viewpoint& view, const AnalyzerConfig& mp_config,
                      bool phases) {
    const RinexObsData& obs = *input.obs;
    TaskResults r;
    WorkerPool::instance().parallel_for(2, [&](std::size_t task) {
        if (task == 0) {
            if (phases) r.multipath = run_multipath_analysis(mp_config);
            return;
        }
        r.tracks = collect_tracks(obs, epochs);
        WorkerPool::instance().parallel_for(2, [&](std::size_t nested) {
            if (nested == 0) {
                if (phases) r.jumps = detect_clock_jumps(obs, epochs, r.tracks);
            } else {
                satellite_tasks(input, options, report, epochs, view, r);
            }
        });
    });
    return r;
}

// The multipath results, the clock jumps and what keeps them from the report.
void add_multipath(QualityReport& report, TaskResults& r, const AnalyzerConfig& mp_config, bool phases) {
    if (!phases) {
        report.missing.push_back("phases: the file has no carrier phases: cycle slips, observations per slip, "
                                 "multipath and receiver clock jumps are absent");
        return;
    }
    report.clock_jumps = r.jumps;
    if (!*r.multipath) {
        report.missing.push_back("multipath: " + r.multipath->error().message());
        return;
    }
    report.multipath = std::move(**r.multipath);
    if (report.multipath->statistics.empty())
        report.missing.push_back("multipath: no signal has its code and phases on two frequencies");
    if (!mp_config.detect_cycle_slips)
        report.missing.push_back("slips: cycle-slip detection was switched off (detect_cycle_slips=False)");
}

// Each satellite's facts, without what needs elevations when there are none.
void add_satellites(QualityReport& report, std::vector<SatelliteWork>& works, bool slips_known) {
    for (SatelliteWork& w : works) {
        if (!report.has_elevations) {
            w.facts.expected.reset();
            w.facts.passes.clear();
            w.facts.first_above_ms.reset();
            w.facts.last_above_ms.reset();
        }
        if (!slips_known) w.facts.slips.reset();
        // A satellite only the orbit knows is listed when it was expected above the cutoff.
        if (w.facts.epochs == 0 && w.facts.expected.value_or(0) == 0) continue;
        report.satellites.push_back(std::move(w.facts));
    }
}

}  // namespace

Result<QualityReport> run_quality(const QualityInput& input, const QualityOptions& options) {
    if (!input.obs) return GnssError::insufficient_data("no observation data");
    const RinexObsData& obs = *input.obs;
    const std::vector<uint32_t> epochs = observation_epochs(obs);
    if (epochs.empty())
        return GnssError::insufficient_data("the observation file has no observation epochs: there is nothing to control");

    QualityReport report;
    report.options = options;
    report.obs = input.obs;
    report.observation_epochs = epochs;
    report.orbit = orbit_kind(input.orbit);
    report.file = file_facts(obs, epochs);
    report.epochs = epoch_completeness(obs, epochs, report.file.interval, options.gap_seconds);
    if (report.file.damage) report.missing.push_back("file: the read stopped early: " + *report.file.damage);
    if (!report.file.interval)
        report.missing.push_back("interval: the header has no INTERVAL and one epoch gives no spacing: expected "
                                 "epochs and observations are absent");

    const Viewpoint view = viewpoint(input, report.file);
    if (!view.reason.empty()) report.missing.push_back(view.reason);
    if (!view.partial.empty()) report.missing.push_back(view.partial);
    AnalyzerConfig mp_config = input.multipath;
    mp_config.obs_data = input.obs;
    mp_config.elevation_cutoff = options.cutoff;
    mp_config.orbit = view.receiver ? input.orbit : SharedOrbit{};
    mp_config.receiver = view.receiver.value_or(Ecef{});
    const bool phases = has_phases(obs);
    TaskResults r = run_tasks(input, options, report, epochs, view, mp_config, phases);

    report.has_elevations = view.receiver.has_value();
    if (report.has_elevations &&
        std::none_of(r.works.begin(), r.works.end(), [](const SatelliteWork& w) { return w.positioned; })) {
        // An orbit of the right time without the file's satellites: the multipath
        // analysis must not keep placeholder elevations either.
        report.has_elevations = false;
        report.missing.push_back("elevations: the orbit gives no position for any satellite of the file's systems" +
                                 std::string(kWithoutElevations));
        mp_config.orbit = {};
        if (phases) r.multipath = run_multipath_analysis(mp_config);
    }
    if (report.has_elevations) {
        report.receiver = view.receiver;
        if (const std::string text = without_position_text(r.works); !text.empty()) report.missing.push_back(text);
    }
    add_multipath(report, r, mp_config, phases);

    const bool slips_known = report.multipath && mp_config.detect_cycle_slips;
    std::vector<SlipEvent> events;
    if (slips_known) {
        events = slip_events(report.multipath->slips, r.jumps);
        place_slips(events, r.list, r.works, report.has_elevations);
    }
    report.signals = signal_rows({r.systems, r.works, slips_known ? &events : nullptr,
                                  report.multipath ? &*report.multipath : nullptr, report.has_elevations});
    report.snr_bins = snr_bins(r.systems, r.works);
    report.summary = system_summaries(r.systems, report.signals, report.file, options.thresholds);
    report.slips = std::move(events);
    if (report.has_elevations) scatter_angles(r.list, r.tracks, r.works, report);
    add_satellites(report, r.works, slips_known);
    return report;
}

}  // namespace skyrift
