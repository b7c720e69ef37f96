#pragma once
// Shared by the fuzz targets and by the replay of their regression inputs: an
// invariant that fails aborts, so both libFuzzer and the test suite report it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rinex/obs_data.hpp"
#include "utils/result.hpp"

namespace skyrift::fuzz {

inline void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

inline std::string bytes_of(const uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Walks everything a reader built and runs the queries Python offers on it, checking
// the storage rules: ranges inside the arrays, satellites of an epoch sorted and
// unique, codes of a satellite sorted and unique.
inline void exercise_observations(const RinexObsData& obs) {
    std::size_t satellites_seen = 0;
    for (const EpochRecord& e : obs.epochs) {
        require(std::size_t{e.first_satellite} + e.num_satellites <= obs.satellite_entries.size(),
                "epoch's satellite range inside the array");
        const auto sats = obs.satellites_of(e);
        for (std::size_t i = 0; i < sats.size(); ++i) {
            require(i == 0 || sats[i - 1].satellite < sats[i].satellite, "satellites sorted and unique");
            require(std::size_t{sats[i].first_observation} + sats[i].num_observations <= obs.observations.size(),
                    "satellite's observation range inside the array");
            const auto values = obs.observations_of(sats[i]);
            for (std::size_t k = 1; k < values.size(); ++k)
                require(values[k - 1].code < values[k].code, "codes sorted and unique");
            require(obs.find_satellite(e, sats[i].satellite) == &sats[i], "satellite found by search");
        }
        satellites_seen += sats.size();
    }
    require(satellites_seen <= obs.satellite_entries.size(), "no satellite entry shared by two epochs");

    (void)obs.interval();
    // Each query walks the whole file: a few satellites are enough to reach them all.
    const std::vector<Satellite> satellites = obs.distinct_satellites();
    for (std::size_t i = 0; i < satellites.size() && i < 3; ++i) {
        for (const auto& series : obs.snr_series(satellites[i], std::nullopt))
            require(series.times.size() == series.values.size(), "SNR series columns of one length");
        (void)obs.codes_of_satellite(satellites[i], ObservationKind::C);
        (void)obs.codes_of_system(satellites[i].system);
    }
}

// Two readings of the same input by different paths (a decoder beside the reader or
// not, compressed or already decoded): the same failure, or the same records bit for bit.
inline void require_same_reading(const Result<RinexObsData>& a, const Result<RinexObsData>& b) {
    require(a.ok() == b.ok(), "both paths succeed or both fail");
    if (!a) {
        require(a.error().message() == b.error().message(), "both paths fail alike");
        return;
    }
    require(a->epochs.size() == b->epochs.size() && a->satellite_entries.size() == b->satellite_entries.size() &&
                a->observations.size() == b->observations.size(),
            "both paths store as many records");
    for (std::size_t i = 0; i < a->epochs.size(); ++i) {
        const EpochRecord &x = a->epochs[i], &y = b->epochs[i];
        require(x.instant_ms == y.instant_ms && x.flag == y.flag && x.first_satellite == y.first_satellite &&
                    x.num_satellites == y.num_satellites && x.clock_offset.has_value() == y.clock_offset.has_value(),
                "both paths read the same epochs");
        if (x.clock_offset) {
            const double u = *x.clock_offset, v = *y.clock_offset;
            require(std::memcmp(&u, &v, sizeof u) == 0, "both paths read the same clock offsets");
        }
    }
    for (std::size_t i = 0; i < a->satellite_entries.size(); ++i) {
        const SatelliteEntry &x = a->satellite_entries[i], &y = b->satellite_entries[i];
        require(x.satellite == y.satellite && x.first_observation == y.first_observation &&
                    x.num_observations == y.num_observations,
                "both paths read the same satellites");
    }
    for (std::size_t i = 0; i < a->observations.size(); ++i) {
        const ObservationEntry &x = a->observations[i], &y = b->observations[i];
        const double u = x.value(), v = y.value();
        require(x.code == y.code && x.indicators == y.indicators && std::memcmp(&u, &v, sizeof u) == 0,
                "both paths read the same observations");
    }
}

// A partial read of the same input (`damage` its failure, if any) against the whole
// read: alike when the whole read succeeds; otherwise failing alike before the
// records, or stopping at the damage that failed the whole read.
inline void require_partial_agrees(const Result<RinexObsData>& whole, const Result<RinexObsData>& partial,
                                   const std::optional<GnssError>& damage) {
    if (whole) {
        require(!damage, "no damage where the whole read succeeds");
        require_same_reading(whole, partial);
        return;
    }
    if (!partial) {
        require(partial.error().message() == whole.error().message(), "a partial read fails alike before the records");
        return;
    }
    require(damage && damage->message() == whole.error().message(), "a partial read stops at the whole read's failure");
    exercise_observations(*partial);
}

}  // namespace skyrift::fuzz
