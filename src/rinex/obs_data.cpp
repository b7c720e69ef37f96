#include "rinex/obs_data.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace skyrift {

namespace {

// Inserts into a small sorted vector unless present.
template <typename T>
void insert_sorted(std::vector<T>& values, const T& v) {
    const auto at = std::lower_bound(values.begin(), values.end(), v);
    if (at == values.end() || !(*at == v)) values.insert(at, v);
}

}  // namespace

std::string RinexVersion::text() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%02u", unsigned{family}, unsigned{minor});
    return buf;
}

const SatelliteEntry* RinexObsData::find_satellite(const EpochRecord& e, Satellite sat) const {
    const auto sats = satellites_of(e);
    const auto at = std::lower_bound(sats.begin(), sats.end(), sat,
                                     [](const SatelliteEntry& s, const Satellite& v) { return s.satellite < v; });
    return (at != sats.end() && at->satellite == sat) ? &*at : nullptr;
}

const ObservationEntry* RinexObsData::find_observation(const SatelliteEntry& s, ObservationCode code) const {
    const auto obs = observations_of(s);
    const auto at = std::lower_bound(obs.begin(), obs.end(), code,
                                     [](const ObservationEntry& o, const ObservationCode& c) { return o.code < c; });
    return (at != obs.end() && at->code == code) ? &*at : nullptr;
}

std::vector<Satellite> RinexObsData::distinct_satellites() const {
    std::vector<Satellite> result;
    for (const SatelliteEntry& s : satellite_entries) insert_sorted(result, s.satellite);
    return result;
}

std::vector<ObservationCode> RinexObsData::codes_of_system(GnssSystem system) const {
    std::vector<ObservationCode> result;
    for (const SatelliteEntry& s : satellite_entries) {
        if (s.satellite.system != system) continue;
        for (const ObservationEntry& o : observations_of(s)) insert_sorted(result, o.code);
    }
    return result;
}

std::vector<ObservationCode> RinexObsData::codes_of_satellite(Satellite sat, ObservationKind kind) const {
    std::vector<ObservationCode> result;
    for (const SatelliteEntry& s : satellite_entries) {
        if (!(s.satellite == sat)) continue;
        for (const ObservationEntry& o : observations_of(s))
            if (o.code.kind == kind) insert_sorted(result, o.code);
    }
    return result;
}

std::optional<double> RinexObsData::interval() const {
    if (!epochs.empty()) {
        const int64_t first = epochs.front().instant_ms;
        for (const EpochRecord& e : epochs)
            if (e.instant_ms != first) return static_cast<double>(std::llabs(e.instant_ms - first)) / 1000.0;
    }
    return header.interval;
}

std::vector<SnrSeries> RinexObsData::snr_series(Satellite sat, std::optional<ObservationCode> code) const {
    std::vector<SnrSeries> series;
    for (const EpochRecord& e : epochs) {
        const SatelliteEntry* s = find_satellite(e, sat);
        if (!s) continue;
        const double t = unix_seconds(e.epoch);
        for (const ObservationEntry& o : observations_of(*s)) {
            if (o.code.kind != ObservationKind::S || (code && !(o.code == *code)) || o.value() <= 0.0) continue;
            auto it = std::find_if(series.begin(), series.end(), [&](const SnrSeries& x) { return x.code == o.code; });
            if (it == series.end()) it = series.insert(series.end(), SnrSeries{sat, o.code, {}, {}});
            it->times.push_back(t);
            it->values.push_back(o.value());
        }
    }
    std::sort(series.begin(), series.end(), [](const SnrSeries& a, const SnrSeries& b) { return a.code < b.code; });
    return series;
}

}  // namespace skyrift
