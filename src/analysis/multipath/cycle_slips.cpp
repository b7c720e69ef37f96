#include "analysis/multipath/cycle_slips.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <optional>
#include <span>
#include <utility>

#include "analysis/multipath/same_signal_phase.hpp"
#include "analysis/multipath/signal_frequencies.hpp"

namespace skyrift {

std::string_view slip_method_text(SlipMethod method) {
    switch (method) {
        case SlipMethod::Gf: return "gf";
        case SlipMethod::CodePhase: return "code_phase";
        case SlipMethod::Lli: return "lli";
        case SlipMethod::Doppler: return "doppler";
    }
    return "gf";
}

namespace {

// Last value of one tested quantity.
struct LastValue {
    double value = 0.0;
    int64_t time_ms = 0;
    bool seen = false;  // a value has been stored
};
// ... of a geometry-free pair, and of a code minus its phase.
struct GfValue {
    ObservationCode phase, partner;
    LastValue last;
};
struct CmcValue {
    ObservationCode code;
    LastValue last;
};

// One geometry-free comparison made at the current epoch, for the attribution of its slips.
struct GfOutcome {
    ObservationCode a, b;
    bool failed;
};

using Observations = std::span<const ObservationEntry>;

// Observations are sorted by code text (kinds in letter order C, D, L, S, X), so the
// pseudoranges lead and the phases are one run: found in one forward pass, which reads
// the entry's observations in memory order.
struct KindRuns {
    Observations codes, phases;
};
KindRuns kind_runs(Observations all) {
    const auto is = [](ObservationKind kind) { return [kind](const ObservationEntry& o) { return o.code.kind == kind; }; };
    const auto codes_end = std::find_if_not(all.begin(), all.end(), is(ObservationKind::C));
    const auto phases_begin = std::find_if(codes_end, all.end(), [](const ObservationEntry& o) {
        return kind_letter(o.code.kind) >= kind_letter(ObservationKind::L);
    });
    const auto phases_end = std::find_if_not(phases_begin, all.end(), is(ObservationKind::L));
    return {{all.begin(), codes_end}, {phases_begin, phases_end}};
}

const ObservationEntry* observation_of(Observations all, ObservationCode code) {
    for (const ObservationEntry& o : all)
        if (o.code == code) return &o;
    return nullptr;
}

// A pseudorange code and the phase it is compared with.
struct CodePhase {
    ObservationCode code, phase;
};

class TrackScanner {
public:
    TrackScanner(const SatelliteTrack& track, const SlipSettings& settings, std::vector<SlipRecord>& out)
        : track_(track), settings_(settings), out_(out) {
        for (uint8_t band = 0; band < frequencies_.size(); ++band)
            frequencies_[band] = band_frequency(track.satellite, track.channel, band);
        for (const ObservationCode& code : track.codes)
            if (code.kind == ObservationKind::C)
                if (const auto phase = same_signal_phase(track.codes, code)) code_phases_.push_back({code, *phase});
    }

    void scan(Observations all, int64_t time_ms) {
        const Plan& plan = plan_for(all);
        if (settings_.use_lli) check_lli(all.subspan(plan.phases_begin, plan.phases_end - plan.phases_begin), time_ms);
        const std::size_t first_gf = out_.size();
        outcomes_.clear();
        check_geometry_free(plan, all, time_ms);
        attribute_gf_slips(first_gf);
        check_code_phase(plan, all, time_ms);
        last_epoch_ms_ = time_ms;
        seen_epoch_ = true;
    }

private:
    // What the tests need of one layout of codes, worked out when the layout appears (a
    // satellite's codes seldom change from epoch to epoch): positions in the entry's
    // observations, frequencies, and the slots of the values compared.
    struct GfStep {
        uint32_t phase, partner;
        double f1, f2;
        std::size_t slot;  // in gf_
    };
    struct CmcStep {
        uint32_t code, phase;
        double f;
        std::size_t slot;  // in cmc_
    };
    struct Plan {
        std::vector<ObservationCode> codes;
        std::size_t phases_begin = 0, phases_end = 0;
        std::vector<GfStep> gf;
        std::vector<CmcStep> cmc;
    };

    const Plan& plan_for(Observations all) {
        const bool same = all.size() == plan_.codes.size() &&
                          std::equal(all.begin(), all.end(), plan_.codes.begin(),
                                     [](const ObservationEntry& o, const ObservationCode& c) { return o.code == c; });
        if (!same) plan_ = make_plan(all);
        return plan_;
    }

    Plan make_plan(Observations all) {
        Plan plan;
        for (const ObservationEntry& o : all) plan.codes.push_back(o.code);
        const KindRuns runs = kind_runs(all);
        const auto at = [&](const ObservationEntry* o) { return static_cast<uint32_t>(o - all.data()); };
        plan.phases_begin = at(runs.phases.data());
        plan.phases_end = plan.phases_begin + runs.phases.size();
        for (const ObservationEntry& p1 : runs.phases) {
            const auto f1 = frequency(p1.code.band);
            if (!f1) continue;
            const ObservationEntry* p2 = gf_partner(runs.phases, p1.code.band, *f1);
            if (!p2) continue;
            plan.gf.push_back({at(&p1), at(p2), *f1, *frequency(p2->code.band),
                               slot_of(gf_, [&](const GfValue& v) { return v.phase == p1.code && v.partner == p2->code; },
                                       GfValue{p1.code, p2->code, {}})});
        }
        for (const ObservationEntry& q : runs.codes) {
            const auto f = frequency(q.code.band);
            if (!f) continue;
            const ObservationEntry* phase = same_signal_observation(runs.phases, q.code);
            if (!phase) continue;
            plan.cmc.push_back({at(&q), at(phase), *f,
                                slot_of(cmc_, [&](const CmcValue& v) { return v.code == q.code; }, CmcValue{q.code, {}})});
        }
        return plan;
    }

    template <typename Value, typename Same>
    static std::size_t slot_of(std::vector<Value>& values, Same&& same, Value fresh) {
        for (std::size_t i = 0; i < values.size(); ++i)
            if (same(values[i])) return i;
        values.push_back(fresh);
        return values.size() - 1;
    }

    void record(int64_t time_ms, ObservationCode a, const ObservationCode* b, double magnitude,
                double threshold, SlipMethod method) {
        SlipRecord r;
        r.satellite = track_.satellite;
        r.time_ms = time_ms;
        r.signals[0] = a;
        r.num_signals = 1;
        if (b) r.signals[r.num_signals++] = *b;
        r.magnitude = magnitude;
        r.threshold = threshold;
        r.method = method;
        r.attributed = 1;  // the phase named first; geometry-free records are settled per epoch
        out_.push_back(r);
    }

    void check_lli(Observations phases, int64_t time_ms) {
        for (const ObservationEntry& p : phases)
            if (p.lli() != kNoIndicator && (p.lli() & 3) != 0)
                record(time_ms, p.code, nullptr, 1.0, 0.0, SlipMethod::Lli);
    }

    std::optional<double> frequency(uint8_t band) const {
        return band < frequencies_.size() ? frequencies_[band] : band_frequency(track_.satellite, track_.channel, band);
    }

    // The phase on the first usable second band that has one at this epoch (its smallest attribute).
    const ObservationEntry* gf_partner(Observations phases, uint8_t band, double f1) const {
        for (const uint8_t candidate : band_preferences(track_.satellite.system)) {
            if (candidate == band) continue;
            const auto f2 = frequency(candidate);
            if (!f2 || !bands_separable(f1, *f2)) continue;
            for (const ObservationEntry& p : phases)
                if (p.code.band == candidate) return &p;
        }
        return nullptr;
    }

    // Seconds since a value's last time stamp when it may be compared, else nothing. By
    // default a value is compared across a hole in its own signal up to the slip gap;
    // the older rule compares only values of the satellite's previous epoch.
    std::optional<double> comparable_dt(int64_t previous_ms, int64_t time_ms) const {
        if (!settings_.compare_across_holes && !(seen_epoch_ && previous_ms == last_epoch_ms_)) return std::nullopt;
        const double dt = std::fabs(static_cast<double>(time_ms - previous_ms)) / 1000.0;
        if (dt < 0.001 || dt > settings_.max_gap) return std::nullopt;
        return dt;
    }

    // Stores a new value in place of the last one; gives its change from the last one and
    // the seconds between them when the two may be compared.
    std::optional<std::pair<double, double>> replace(LastValue& last, double value, int64_t time_ms) const {
        std::optional<std::pair<double, double>> out;
        if (last.seen) {
            if (const auto dt = comparable_dt(last.time_ms, time_ms)) out.emplace(std::fabs(value - last.value), *dt);
        }
        last = {value, time_ms, true};
        return out;
    }

    void check_geometry_free(const Plan& plan, Observations all, int64_t time_ms) {
        for (const GfStep& step : plan.gf) {
            const ObservationEntry &p1 = all[step.phase], &p2 = all[step.partner];
            const double f1 = step.f1, f2 = step.f2;
            const double value =
                (kSpeedOfLight / f1 * p1.value() - kSpeedOfLight / f2 * p2.value()) / ((f1 * f1) / (f2 * f2) - 1.0);
            if (const auto step_change = replace(gf_[step.slot].last, value, time_ms)) {
                const auto [change, dt] = *step_change;
                const double threshold = settings_.ion_delta_base + settings_.ion_delta_rate * dt;
                const bool failed = change > threshold;
                if (failed) record(time_ms, p1.code, &p2.code, change, threshold, SlipMethod::Gf);
                outcomes_.push_back({p1.code, p2.code, failed});
            }
        }
    }

    // A geometry-free slip involves two phases. A phase that passes its test against
    // some other partner at this epoch is intact, so when exactly one of the two is
    // intact the slip belongs to the other alone; otherwise to both.
    void attribute_gf_slips(std::size_t first) {
        auto fails = [&](ObservationCode a, ObservationCode b) {
            return std::any_of(outcomes_.begin(), outcomes_.end(), [&](const GfOutcome& o) {
                return o.failed && ((o.a == a && o.b == b) || (o.a == b && o.b == a));
            });
        };
        auto intact = [&](ObservationCode p) {
            return std::any_of(outcomes_.begin(), outcomes_.end(), [&](const GfOutcome& o) {
                if (o.a != p && o.b != p) return false;
                return !fails(o.a, o.b);
            });
        };
        for (std::size_t i = first; i < out_.size(); ++i) {
            SlipRecord& r = out_[i];
            const bool a_ok = intact(r.signals[0]), b_ok = intact(r.signals[1]);
            r.attributed = a_ok == b_ok ? 3 : (a_ok ? 2 : 1);
        }
    }

    void check_code_phase(const Plan& plan, Observations all, int64_t time_ms) {
        for (const CmcStep& step : plan.cmc) {
            const ObservationEntry &q = all[step.code], &phase = all[step.phase];
            const double value = kSpeedOfLight / step.f * phase.value() - q.value();
            if (const auto step_change = replace(cmc_[step.slot].last, value, time_ms)) {
                const auto [change, dt] = *step_change;
                const double threshold = settings_.cp_delta_base + settings_.cp_delta_rate * dt;
                if (change > threshold) record(time_ms, phase.code, &q.code, change, threshold, SlipMethod::CodePhase);
            }
        }
    }

    // The satellite's same-signal phase of a pseudorange, observed at this epoch.
    const ObservationEntry* same_signal_observation(Observations phases, ObservationCode code) const {
        for (const CodePhase& cp : code_phases_)
            if (cp.code == code) return observation_of(phases, cp.phase);
        return nullptr;
    }

    const SatelliteTrack& track_;
    const SlipSettings& settings_;
    std::vector<SlipRecord>& out_;
    std::vector<CodePhase> code_phases_;  // each pseudorange of the track with its phase
    std::array<std::optional<double>, 10> frequencies_;  // by band digit: asked once per track
    // The latest value of every quantity the satellite has shown, with its time stamp.
    std::vector<GfValue> gf_;
    std::vector<CmcValue> cmc_;
    std::vector<GfOutcome> outcomes_;  // comparisons of the current epoch
    Plan plan_;                        // of the last layout seen
    int64_t last_epoch_ms_ = 0;
    bool seen_epoch_ = false;
};

// Time, then satellite text ("G05" < "G100" < "G20"), then first signal text; stable.
// The satellites' text order is taken once, as a rank per distinct satellite.
void sort_slips(std::vector<SlipRecord>& slips) {
    std::vector<Satellite> distinct;
    for (const SlipRecord& s : slips) distinct.push_back(s.satellite);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    std::vector<std::string> ids;
    for (const Satellite& s : distinct) ids.push_back(s.id());
    std::vector<uint32_t> by_text(distinct.size());
    std::iota(by_text.begin(), by_text.end(), 0u);
    std::sort(by_text.begin(), by_text.end(), [&](uint32_t a, uint32_t b) { return ids[a] < ids[b]; });
    std::vector<uint32_t> rank_of(distinct.size());
    for (uint32_t r = 0; r < by_text.size(); ++r) rank_of[by_text[r]] = r;
    std::vector<uint32_t> rank(slips.size());
    for (std::size_t i = 0; i < slips.size(); ++i) {
        const auto at = std::lower_bound(distinct.begin(), distinct.end(), slips[i].satellite);
        rank[i] = rank_of[static_cast<std::size_t>(at - distinct.begin())];
    }
    std::vector<uint32_t> order(slips.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t i, uint32_t j) {
        const SlipRecord &a = slips[i], &b = slips[j];
        if (a.time_ms != b.time_ms) return a.time_ms < b.time_ms;
        if (rank[i] != rank[j]) return rank[i] < rank[j];
        if (a.num_signals == 0 || b.num_signals == 0) return a.num_signals < b.num_signals;
        return a.signals[0] < b.signals[0];
    });
    std::vector<SlipRecord> sorted;
    sorted.reserve(slips.size());
    for (const uint32_t i : order) sorted.push_back(slips[i]);
    slips = std::move(sorted);
}

// Each (satellite, phase code, epoch) event counts once however many records name it.
void index_slip_epochs(SlipDetection& result) {
    for (const SlipRecord& slip : result.slips) {
        for (uint8_t i = 0; i < slip.num_signals; ++i) {
            const ObservationCode code = slip.signals[i];
            if (code.kind != ObservationKind::L || !(slip.attributed >> i & 1)) continue;
            std::vector<int64_t>& times = result.slip_epochs[{slip.satellite, code}];
            if (!times.empty() && times.back() == slip.time_ms) continue;
            times.push_back(slip.time_ms);
            ++result.counts[std::string(system_abbreviation(slip.satellite.system)) + code.text()];
        }
    }
}

}  // namespace

SlipDetection detect_track_slips(const RinexObsData& obs, const SatelliteTrack& track, const SlipSettings& settings) {
    SlipDetection result;
    TrackScanner scanner(track, settings, result.slips);
    for (std::size_t k = 0; k < track.entries.size(); ++k)
        scanner.scan(obs.observations_of(obs.satellite_entries[track.entries[k]]), track.times_ms[k]);
    sort_slips(result.slips);
    // The events of one satellite come in the same order as in the sorted whole, so its
    // epochs and counts are those of the whole.
    index_slip_epochs(result);
    return result;
}

SlipDetection merge_slip_detections(std::vector<SlipDetection> parts) {
    SlipDetection merged;
    std::size_t total = 0;
    for (const SlipDetection& part : parts) total += part.slips.size();
    merged.slips.reserve(total);
    for (SlipDetection& part : parts) {
        merged.slips.insert(merged.slips.end(), part.slips.begin(), part.slips.end());
        for (auto& [key, times] : part.slip_epochs) merged.slip_epochs.emplace(key, std::move(times));
        for (const auto& [key, count] : part.counts) merged.counts[key] += count;
    }
    // Every part is sorted and holds one satellite, so this stable sort gives the order
    // of one sort over all records gathered in track order.
    sort_slips(merged.slips);
    return merged;
}

}  // namespace skyrift
