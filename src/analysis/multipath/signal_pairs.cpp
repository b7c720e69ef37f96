#include "analysis/multipath/signal_pairs.hpp"

#include <algorithm>

#include "analysis/multipath/signal_frequencies.hpp"

namespace skyrift {

std::string series_key(GnssSystem system, ObservationCode code) {
    std::string key(system_abbreviation(system));
    key += 'M';
    key += static_cast<char>('0' + code.band);
    key += code.attribute;
    return key;
}

namespace {

bool listed(const std::vector<std::string>& entries, const std::string& code, const std::string& qualified) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const std::string& e) { return e == code || e == qualified; });
}

bool passes_filters(const PairFilter& filter, Satellite satellite, ObservationCode code) {
    const std::string text = code.text();
    const std::string qualified = system_letter(satellite.system) + text;
    if (!filter.include_codes.empty() && !listed(filter.include_codes, text, qualified)) return false;
    return !listed(filter.exclude_codes, text, qualified);
}

// The smallest-attribute code on a band (codes are sorted), if any.
std::optional<ObservationCode> first_on_band(const std::vector<ObservationCode>& codes, uint8_t band) {
    for (const ObservationCode& c : codes)
        if (c.band == band) return c;
    return std::nullopt;
}

std::optional<ObservationCode> snr_code_for(const std::vector<ObservationCode>& snr_codes, ObservationCode code) {
    for (const ObservationCode& s : snr_codes)
        if (s.band == code.band && s.attribute == code.attribute) return s;
    return first_on_band(snr_codes, code.band);
}

// The first separable band, in the system's preference order, on which the satellite
// has a phase: an L1+L5 receiver has no band 2 and pairs with band 5.
std::optional<MpSignalPair> pair_for(const SatelliteTrack& track, ObservationCode code,
                                     const std::vector<ObservationCode>& phases) {
    const auto f1 = band_frequency(track.satellite, track.channel, code.band);
    if (!f1) return std::nullopt;
    for (const uint8_t band : band_preferences(track.satellite.system)) {
        if (band == code.band) continue;
        const auto f2 = band_frequency(track.satellite, track.channel, band);
        if (!f2 || !bands_separable(*f1, *f2)) continue;
        const auto partner = first_on_band(phases, band);
        if (!partner) continue;
        MpSignalPair pair;
        pair.code = code;
        pair.phase = ObservationCode{ObservationKind::L, code.band, code.attribute};
        pair.partner = *partner;
        pair.wavelength1 = kSpeedOfLight / *f1;
        pair.wavelength2 = kSpeedOfLight / *f2;
        pair.alpha = (*f1 * *f1) / (*f2 * *f2);
        return pair;
    }
    return std::nullopt;
}

}  // namespace

std::vector<MpSignalPair> select_signal_pairs(const std::vector<SatelliteTrack>& tracks,
                                              const PairFilter& filter) {
    std::vector<MpSignalPair> pairs;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const SatelliteTrack& track = tracks[t];
        const auto& systems = filter.systems;
        if (std::find(systems.begin(), systems.end(), track.satellite.system) == systems.end()) continue;
        const auto phases = codes_of_kind(track.codes, ObservationKind::L);
        const auto snr_codes = codes_of_kind(track.codes, ObservationKind::S);
        for (const ObservationCode& code : codes_of_kind(track.codes, ObservationKind::C)) {
            if (!passes_filters(filter, track.satellite, code)) continue;
            auto pair = pair_for(track, code, phases);
            if (!pair) continue;
            pair->snr = snr_code_for(snr_codes, code);
            pair->track = t;
            pairs.push_back(*pair);
        }
    }
    return pairs;
}

}  // namespace skyrift
