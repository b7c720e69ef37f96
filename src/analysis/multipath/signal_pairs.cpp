#include "analysis/multipath/signal_pairs.hpp"

#include <algorithm>
#include <variant>

#include "analysis/multipath/same_signal_phase.hpp"
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
std::variant<MpSignalPair, PairGap> pair_for(const SatelliteTrack& track, ObservationCode code,
                                             const std::vector<ObservationCode>& phases) {
    const auto phase = same_signal_phase(track.codes, code);
    if (!phase) return PairGap::NoPhase;
    const auto f1 = band_frequency(track.satellite, track.channel, code.band);
    if (!f1) return PairGap::NoFrequency;
    for (const uint8_t band : band_preferences(track.satellite.system)) {
        if (band == code.band) continue;
        const auto f2 = band_frequency(track.satellite, track.channel, band);
        if (!f2 || !bands_separable(*f1, *f2)) continue;
        const auto partner = first_on_band(phases, band);
        if (!partner) continue;
        MpSignalPair pair;
        pair.code = code;
        pair.phase = *phase;
        pair.partner = *partner;
        pair.wavelength1 = kSpeedOfLight / *f1;
        pair.wavelength2 = kSpeedOfLight / *f2;
        pair.alpha = (*f1 * *f1) / (*f2 * *f2);
        return pair;
    }
    return PairGap::NoSecondFrequency;
}

}  // namespace

bool system_selected(const PairFilter& filter, GnssSystem system) {
    return std::find(filter.systems.begin(), filter.systems.end(), system) != filter.systems.end();
}

bool passes_filters(const PairFilter& filter, Satellite satellite, ObservationCode code) {
    const std::string text = code.text();
    const std::string qualified = system_letter(satellite.system) + text;
    if (!filter.include_codes.empty() && !listed(filter.include_codes, text, qualified)) return false;
    return !listed(filter.exclude_codes, text, qualified);
}

SignalSelection select_signal_pairs(const std::vector<SatelliteTrack>& tracks, const PairFilter& filter) {
    SignalSelection selection;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const SatelliteTrack& track = tracks[t];
        if (!system_selected(filter, track.satellite.system)) continue;
        const auto phases = codes_of_kind(track.codes, ObservationKind::L);
        const auto snr_codes = codes_of_kind(track.codes, ObservationKind::S);
        for (const ObservationCode& code : codes_of_kind(track.codes, ObservationKind::C)) {
            if (!passes_filters(filter, track.satellite, code)) continue;
            auto pair = pair_for(track, code, phases);
            if (const PairGap* gap = std::get_if<PairGap>(&pair)) {
                selection.unpaired.push_back({t, code, *gap});
                continue;
            }
            MpSignalPair& p = std::get<MpSignalPair>(pair);
            p.snr = snr_code_for(snr_codes, code);
            p.track = t;
            selection.pairs.push_back(p);
        }
    }
    return selection;
}

}  // namespace skyrift
