#include "analysis/snr/snr_survey.hpp"

#include <algorithm>
#include <cmath>

#include "analysis/snr/gap_arcs.hpp"
#include "analysis/snr/detrend.hpp"
#include "analysis/snr/morlet.hpp"
#include "utils/worker_pool.hpp"

namespace skyrift {

namespace {

constexpr std::size_t kMinSatelliteSamples = 40;
constexpr std::size_t kMinArcSamples = 40;

struct SnrSamples {
    ObservationCode code;
    std::vector<double> times;
    std::vector<double> values;
};

// The satellite's entry in every epoch that has it, in file order.
struct Presence {
    std::size_t epoch;
    const SatelliteEntry* entry;
};

std::vector<Presence> presence_of(const RinexObsData& obs, Satellite sat) {
    std::vector<Presence> out;
    for (std::size_t e = 0; e < obs.epochs.size(); ++e) {
        if (const SatelliteEntry* entry = obs.find_satellite(obs.epochs[e], sat)) out.push_back({e, entry});
    }
    return out;
}

// The satellite's S code on band 1 first, then the smallest code text.
std::optional<ObservationCode> choose_snr_code(const RinexObsData& obs, const std::vector<Presence>& presence) {
    std::optional<ObservationCode> best;
    auto key = [](const ObservationCode& c) { return std::pair(c.band != 1, c); };
    for (const Presence& p : presence) {
        for (const ObservationEntry& o : obs.observations_of(*p.entry)) {
            if (o.code.kind != ObservationKind::S) continue;
            if (!best || key(o.code) < key(*best)) best = o.code;
        }
    }
    return best;
}

// Strictly positive values of the chosen code, in file order.
SnrSamples snr_samples(const RinexObsData& obs, const std::vector<double>& epoch_times,
                       const std::vector<Presence>& presence, ObservationCode code) {
    SnrSamples s{code, {}, {}};
    for (const Presence& p : presence) {
        const ObservationEntry* o = obs.find_observation(*p.entry, code);
        if (!o || !(o->value() > 0.0)) continue;
        s.times.push_back(epoch_times[p.epoch]);
        s.values.push_back(o->value());
    }
    return s;
}

// Every step-th sample, its dB-Hz value turned into linear amplitude.
void decimate_to_amplitude(SnrSamples& s, std::size_t max_points) {
    const std::size_t n = s.times.size();
    const std::size_t step = std::max<std::size_t>((n + max_points - 1) / max_points, 1);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; i += step, ++kept) {
        s.times[kept] = s.times[i];
        s.values[kept] = std::pow(10.0, s.values[i] / 20.0);
    }
    s.times.resize(kept);
    s.values.resize(kept);
}

struct BandSeries {
    std::vector<double> t;
    std::vector<std::vector<double>> power;  // one row per band
};

// Averages the band-power samples over at most max_bins equal-width time bins;
// empty bins are left out.
void bin_band_power(const BandSeries& series, std::size_t max_bins, double t0,
                    SatelliteSurvey& out) {
    const std::size_t m = series.t.size();
    out.bp_power.assign(series.power.size(), {});
    if (m == 0) return;
    const std::size_t bins = std::min(m, max_bins);
    const double first = series.t.front(), end = series.t.back() + 1.0;
    const double width = (end - first) / static_cast<double>(bins);
    std::vector<double> edges(bins + 1);
    for (std::size_t i = 0; i < bins; ++i) edges[i] = first + static_cast<double>(i) * width;
    edges[bins] = end;

    std::vector<double> time_sum(bins, 0.0);
    std::vector<std::size_t> count(bins, 0);
    std::vector<std::vector<double>> band_sum(series.power.size(), std::vector<double>(bins, 0.0));
    for (std::size_t i = 0; i < m; ++i) {
        const auto above = std::upper_bound(edges.begin(), edges.end(), series.t[i]);
        const std::size_t k =
            std::min<std::size_t>(above == edges.begin() ? 0 : above - edges.begin() - 1, bins - 1);
        time_sum[k] += series.t[i];
        ++count[k];
        for (std::size_t b = 0; b < series.power.size(); ++b) band_sum[b][k] += series.power[b][i];
    }
    for (std::size_t k = 0; k < bins; ++k) {
        if (count[k] == 0) continue;
        const double c = static_cast<double>(count[k]);
        out.bp_t.push_back(time_sum[k] / c - t0);
        for (std::size_t b = 0; b < band_sum.size(); ++b) out.bp_power[b].push_back(band_sum[b][k] / c);
    }
}

std::optional<SatelliteSurvey> survey_satellite(const RinexObsData& obs,
                                                const std::vector<double>& epoch_times,
                                                Satellite sat, const SurveySettings& settings,
                                                const std::vector<PeriodBand>& bands) {
    const std::vector<Presence> presence = presence_of(obs, sat);
    const std::optional<ObservationCode> code = choose_snr_code(obs, presence);
    if (!code) return std::nullopt;
    SnrSamples s = snr_samples(obs, epoch_times, presence, *code);
    if (s.times.size() < kMinSatelliteSamples) return std::nullopt;
    decimate_to_amplitude(s, settings.max_points);

    const double dt = median_interval(s.times).value_or(settings.interval);
    SatelliteSurvey out;
    out.sat = sat.id();
    out.code = code->text();
    out.v.assign(s.values.size(), 0.0);
    BandSeries series;
    series.power.resize(bands.size());
    for (const auto& [start, stop] : split_at_gaps(s.times, dt, settings.gap_factor)) {
        const std::span<const double> t(s.times.data() + start, stop - start);
        const std::span<const double> v(s.values.data() + start, stop - start);
        Result<Detrended> d = detrend_arc(t, v, settings.max_order);
        // Equal lengths and order 9 leave detrending nothing to fail on.
        if (!d) continue;
        std::copy(d->residual.begin(), d->residual.end(), out.v.begin() + start);
        out.orders.push_back(d->order);
        if (stop - start < kMinArcSamples) continue;
        // s0 = 2·dt keeps the scale count near 8·log2(n/2): the size limit cannot apply.
        Result<WaveletTransform> wt = morlet_transform(d->residual, dt, kDefaultScaleSpacing, std::nullopt);
        if (!wt) continue;
        std::vector<std::vector<double>> rows = band_power(*wt, bands);
        for (std::size_t b = 0; b < rows.size(); ++b) {
            series.power[b].insert(series.power[b].end(), rows[b].begin(), rows[b].end());
        }
        series.t.insert(series.t.end(), t.begin(), t.end());
    }
    out.t0 = s.times.front();
    out.t.reserve(s.times.size());
    for (double t : s.times) out.t.push_back(t - out.t0);
    bin_band_power(series, settings.max_bins, out.t0, out);
    return out;
}

}  // namespace

std::vector<SatelliteSurvey> survey_snr(const RinexObsData& obs,
                                        const std::optional<std::vector<Satellite>>& satellites,
                                        const SurveySettings& settings) {
    const std::vector<Satellite> list = satellites ? *satellites : obs.distinct_satellites();
    const std::vector<PeriodBand> bands =
        settings.bands.empty() ? period_bands(settings.interval) : settings.bands;
    std::vector<double> epoch_times;
    epoch_times.reserve(obs.epochs.size());
    for (const EpochRecord& e : obs.epochs) epoch_times.push_back(unix_seconds(e.epoch));

    std::vector<std::optional<SatelliteSurvey>> results = parallel_map(list.size(), [&](std::size_t i) {
        return survey_satellite(obs, epoch_times, list[i], settings, bands);
    });
    std::vector<SatelliteSurvey> out;
    for (auto& r : results) {
        if (r) out.push_back(std::move(*r));
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const SatelliteSurvey& a, const SatelliteSurvey& b) { return a.sat < b.sat; });
    return out;
}

}  // namespace skyrift
