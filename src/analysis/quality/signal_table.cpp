#include "analysis/quality/signal_table.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/multipath/same_signal_phase.hpp"

namespace skyrift {

namespace {

struct Totals {
    uint64_t observed = 0, present = 0, expected = 0, expected_tracking = 0;
    bool any_expected = false;
};

Totals totals_of(const SignalInputs& in, GnssSystem system, ObservationCode code) {
    Totals t;
    for (const SatelliteWork& w : in.works) {
        if (w.facts.satellite.system != system) continue;
        const auto c = std::find_if(w.codes.begin(), w.codes.end(), [&](const CodeCount& x) { return x.code == code; });
        const bool tracks = c != w.codes.end() && c->observed > 0;
        if (tracks) {
            t.observed += c->observed;
            t.present += c->present;
        }
        if (w.facts.expected) {
            t.any_expected = true;
            t.expected += *w.facts.expected;
            if (tracks) t.expected_tracking += *w.facts.expected;
        }
    }
    return t;
}

std::vector<ObservationCode> pseudorange_codes(const std::vector<SatelliteWork>& works, GnssSystem system) {
    std::vector<ObservationCode> codes;
    for (const SatelliteWork& w : works) {
        if (w.facts.satellite.system != system) continue;
        for (const CodeCount& c : w.codes)
            if (c.code.kind == ObservationKind::C && c.observed > 0) codes.push_back(c.code);
    }
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    return codes;
}

std::optional<double> percent(uint64_t part, uint64_t whole) {
    if (whole == 0) return std::nullopt;
    return 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

void add_multipath(const AnalysisOutput& mp, SignalQuality& row) {
    for (const StatsRecord& s : mp.statistics) {
        if (s.system == row.system && s.code == row.code) {
            row.mp_rms = s.rms;
            row.mp_wrms = s.weighted_rms;
        }
    }
}

// With elevations, a satellite the orbit never positions has no observation known to lie
// above the cutoff: it gives no mean SNR and no slip count rather than ones over every
// elevation or a count of zero.
bool counts_above(const SignalInputs& in, const SatelliteWork& w) { return !in.elevations || w.positioned; }

void add_snr(const SignalInputs& in, SignalQuality& row) {
    const ObservationCode snr_code{ObservationKind::S, row.code.band, row.code.attribute};
    double sum = 0.0;
    uint64_t count = 0;
    for (const SatelliteWork& w : in.works) {
        if (w.facts.satellite.system != row.system || !counts_above(in, w)) continue;
        for (const SnrAccumulator& a : w.snr) {
            if (!(a.code == snr_code)) continue;
            sum += a.sum;
            count += a.count;
        }
    }
    if (count > 0) row.snr_mean = sum / static_cast<double>(count);
}

// The phase a satellite's code goes with, by the multipath analysis' rule (a code whose own
// phase the satellite never has takes its band's smallest attribute), so that the slips
// counted here are the ones that cut that code's multipath arcs.
std::optional<ObservationCode> phase_of(const SatelliteWork& w, ObservationCode code) {
    std::vector<ObservationCode> codes;
    codes.reserve(w.codes.size());
    for (const CodeCount& c : w.codes)
        if (c.observed > 0) codes.push_back(c.code);
    return same_signal_phase(codes, code);
}

bool tracks(const SatelliteWork& w, ObservationCode code) {
    return std::any_of(w.codes.begin(), w.codes.end(),
                       [&](const CodeCount& c) { return c.code == code && c.observed > 0; });
}

void add_slips(const SignalInputs& in, SignalQuality& row) {
    if (!in.slips) return;
    bool any_phase = false;
    uint64_t n = 0;
    for (const SatelliteWork& w : in.works) {
        if (w.facts.satellite.system != row.system || !counts_above(in, w) || !tracks(w, row.code)) continue;
        const auto phase = phase_of(w, row.code);
        if (!phase) continue;
        any_phase = true;
        for (const SlipEvent& e : *in.slips)
            if (e.satellite == w.facts.satellite && e.phase == *phase && e.above) ++n;
    }
    if (!any_phase) return;
    row.slips = n;
    const uint64_t observations = in.elevations ? row.present.value_or(0) : row.observed;
    if (observations > 0) row.obs_per_slip = observations_per_slip(observations, n);
}

}  // namespace

double observations_per_slip(uint64_t observations, uint64_t slips) {
    return static_cast<double>(observations) / static_cast<double>(std::max<uint64_t>(slips, 1));
}

std::vector<SignalQuality> signal_rows(const SignalInputs& in) {
    std::vector<SignalQuality> rows;
    for (const GnssSystem system : in.systems) {
        for (const ObservationCode code : pseudorange_codes(in.works, system)) {
            SignalQuality row;
            row.system = system;
            row.code = code;
            const Totals t = totals_of(in, system, code);
            row.observed = t.observed;
            if (in.elevations && t.any_expected) {
                row.expected = t.expected;
                row.expected_tracking = t.expected_tracking;
                row.present = t.present;
                row.completeness = percent(t.present, t.expected);
                row.completeness_tracking = percent(t.present, t.expected_tracking);
            }
            add_slips(in, row);
            if (in.multipath) add_multipath(*in.multipath, row);
            add_snr(in, row);
            rows.push_back(row);
        }
    }
    return rows;
}

std::vector<SnrBins> snr_bins(const std::vector<GnssSystem>& systems, const std::vector<SatelliteWork>& works) {
    std::vector<SnrBins> out;
    for (const GnssSystem system : systems) {
        std::vector<SnrBins> of_system;
        std::vector<std::array<double, kSnrBins>> sums;
        for (const SatelliteWork& w : works) {
            if (w.facts.satellite.system != system) continue;
            for (const SnrAccumulator& a : w.snr) {
                auto it = std::find_if(of_system.begin(), of_system.end(), [&](const SnrBins& b) { return b.code == a.code; });
                if (it == of_system.end()) {
                    of_system.push_back({system, a.code, {}, {}});
                    sums.emplace_back();
                    it = of_system.end() - 1;
                }
                auto& sum = sums[static_cast<std::size_t>(it - of_system.begin())];
                for (int b = 0; b < kSnrBins; ++b) {
                    it->count[b] += a.bin_count[b];
                    sum[b] += a.bin_sum[b];
                }
            }
        }
        for (std::size_t i = 0; i < of_system.size(); ++i) {
            SnrBins& bins = of_system[i];
            for (int b = 0; b < kSnrBins; ++b) {
                bins.mean[b] = bins.count[b] ? sums[i][b] / static_cast<double>(bins.count[b])
                                             : std::numeric_limits<double>::quiet_NaN();
            }
        }
        std::sort(of_system.begin(), of_system.end(), [](const SnrBins& a, const SnrBins& b) { return a.code < b.code; });
        for (const SnrBins& bins : of_system) {
            uint64_t total = 0;
            for (const uint64_t n : bins.count) total += n;
            if (total > 0) out.push_back(bins);
        }
    }
    return out;
}

}  // namespace skyrift
