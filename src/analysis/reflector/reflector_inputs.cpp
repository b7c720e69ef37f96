#include "analysis/reflector/reflector_inputs.hpp"

#include <algorithm>

#include "rinex/beidou_orbits.hpp"
#include "rinex/glonass_channels.hpp"
#include "utils/worker_pool.hpp"

namespace skyrift {

namespace {

// BeiDou GEO and IGSO tracks hardly move across the sky: they give no rising or setting arcs.
bool wanted_satellite(const Satellite& sat, const TrackSelection& selection) {
    return selection.include_beidou_geo_igso || sat.system != GnssSystem::BeiDou ||
           beidou_orbit(sat.prn) == BeidouOrbit::MEO;
}

bool kept(double elevation, const TrackSelection& selection) {
    return elevation >= selection.keep_min_elevation && elevation <= selection.keep_max_elevation;
}

ReflectorTrack empty_track(const Satellite& sat, const std::string& name, const ObservationCode& code, double wavelength,
                           const TrackSelection& selection) {
    ReflectorTrack track;
    track.satellite = sat;
    track.signal = name;
    track.wavelength = wavelength;
    track.min_amplitude = selection.min_amplitude.for_signal(code);
    return track;
}

void append(ReflectorTrack& track, double t, double e, double az, double snr) {
    track.times.push_back(t);
    track.elevations.push_back(e);
    track.azimuths.push_back(az);
    track.snr.push_back(snr);
}

}  // namespace

Result<std::vector<ReflectorTrack>> tracks_from_columns(const SnrColumns& c, const ObservationCode& signal,
                                                        const std::string& signal_name,
                                                        const TrackSelection& selection) {
    const std::size_t n = c.satellite_index.size();
    if (c.times.size() != n || c.elevations.size() != n || c.azimuths.size() != n || c.snr.size() != n) {
        return GnssError::insufficient_data(
            "satellites, times, elevations, azimuths and snr must have the same length");
    }
    const auto m = static_cast<int64_t>(c.satellites.size());
    std::vector<std::size_t> counts(c.satellites.size(), 0);
    for (int64_t k : c.satellite_index) {
        if (k >= m) return GnssError::insufficient_data("satellite index out of range");
        if (k >= 0) ++counts[static_cast<std::size_t>(k)];
    }
    // Track per distinct satellite, or none when it has no wavelength or is left out.
    std::vector<std::optional<ReflectorTrack>> by_satellite(c.satellites.size());
    for (std::size_t k = 0; k < c.satellites.size(); ++k) {
        const Satellite& sat = c.satellites[k];
        if (!wanted_satellite(sat, selection) || counts[k] == 0) continue;
        // Columns come without a file: the caller's channels, then the default table.
        const std::optional<int8_t> channel = glonass_channel(
            sat, {.given = selection.glonass_channels, .unknown = UnknownGlonassSlot::NoChannel});
        const auto wavelength = signal_wavelength(sat, signal.band, channel);
        if (!wavelength) continue;
        ReflectorTrack& track = by_satellite[k].emplace(empty_track(sat, signal_name, signal, *wavelength, selection));
        track.times.reserve(counts[k]);
        track.elevations.reserve(counts[k]);
        track.azimuths.reserve(counts[k]);
        track.snr.reserve(counts[k]);
    }
    for (std::size_t i = 0; i < n; ++i) {
        const int64_t k = c.satellite_index[i];
        if (k < 0 || !by_satellite[static_cast<std::size_t>(k)] || !kept(c.elevations[i], selection)) continue;
        append(*by_satellite[static_cast<std::size_t>(k)], c.times[i], c.elevations[i], c.azimuths[i], c.snr[i]);
    }
    std::vector<ReflectorTrack> tracks;
    for (auto& t : by_satellite)
        if (t) tracks.push_back(std::move(*t));
    return tracks;
}

std::vector<ReflectorTrack> tracks_from_observations(const RinexObsData& obs, const OrbitSource& orbit,
                                                     const Ecef& receiver, std::span<const ObservationCode> signals,
                                                     const TrackSelection& selection) {
    std::vector<Satellite> satellites;
    for (const Satellite& sat : obs.distinct_satellites())
        if (wanted_satellite(sat, selection) && orbit.knows(sat)) satellites.push_back(sat);
    const LookAngleFrame look_from(receiver);  // the receiver's frame, once for every task

    auto per_satellite = parallel_map(satellites.size(), [&](std::size_t s) {
        const Satellite sat = satellites[s];
        const std::optional<int8_t> channel =
            glonass_channel(sat, {.given = selection.glonass_channels,
                                  .file_slots = &obs.header.glonass_slots,
                                  .unknown = UnknownGlonassSlot::NoChannel});
        // Codes seen so far, each with its track or none when it is not wanted.
        std::vector<std::pair<ObservationCode, std::optional<std::size_t>>> seen;
        std::vector<ReflectorTrack> tracks;
        auto track_of = [&](const ObservationCode& code) -> ReflectorTrack* {
            for (const auto& [c, slot] : seen)
                if (c == code) return slot ? &tracks[*slot] : nullptr;
            const bool named = signals.empty() || std::any_of(signals.begin(), signals.end(), [&](const auto& name) {
                                   return signal_matches(name, code);
                               });
            const auto wavelength = named ? signal_wavelength(sat, code.band, channel) : std::nullopt;
            if (!wavelength) {
                seen.emplace_back(code, std::nullopt);
                return nullptr;
            }
            seen.emplace_back(code, tracks.size());
            tracks.push_back(empty_track(sat, code.text(), code, *wavelength, selection));
            return &tracks.back();
        };
        OrbitCursor positions(orbit);  // one per task: a cursor is not shared between threads
        for (const EpochRecord& e : obs.epochs) {
            const SatelliteEntry* entry = obs.find_satellite(e, sat);
            if (!entry) continue;
            std::optional<LookAngles> angles;
            bool tried = false;
            for (const ObservationEntry& o : obs.observations_of(*entry)) {
                if (o.code.kind != ObservationKind::S || !(o.value() > 0.0)) continue;
                ReflectorTrack* track = track_of(o.code);
                if (!track) continue;
                if (!tried) {
                    tried = true;
                    if (const auto p = positions.position(sat, e.epoch)) angles = look_from(*p);
                }
                if (!angles || !kept(angles->elevation, selection)) break;
                append(*track, unix_seconds(e.epoch), angles->elevation, angles->azimuth, o.value());
            }
        }
        std::sort(tracks.begin(), tracks.end(), [](const ReflectorTrack& a, const ReflectorTrack& b) {
            return a.signal < b.signal;
        });
        return tracks;
    });
    std::vector<ReflectorTrack> out;
    for (auto& tracks : per_satellite)
        for (auto& t : tracks)
            if (!t.times.empty()) out.push_back(std::move(t));
    return out;
}

}  // namespace skyrift
