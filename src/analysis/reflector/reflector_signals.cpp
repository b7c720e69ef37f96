#include "analysis/reflector/reflector_signals.hpp"

#include "utils/text.hpp"

namespace skyrift {

std::optional<ObservationCode> parse_snr_signal(std::string_view text) {
    const std::string_view t = trim_unicode(text);
    if (t.size() < 2 || t.size() > 3 || ascii_upper(t[0]) != 'S' || t[1] < '0' || t[1] > '9') return std::nullopt;
    ObservationCode code{ObservationKind::S, static_cast<uint8_t>(t[1] - '0'), ' '};
    if (t.size() == 3) {
        const char a = ascii_upper(t[2]);
        if (!((a >= 'A' && a <= 'Z') || (a >= '0' && a <= '9'))) return std::nullopt;
        code.attribute = a;
    }
    return code;
}

bool signal_matches(const ObservationCode& name, const ObservationCode& code) {
    return code.kind == ObservationKind::S && name.band == code.band &&
           (name.attribute == ' ' || name.attribute == code.attribute);
}

std::optional<double> signal_wavelength(Satellite satellite, uint8_t band, std::optional<int8_t> glonass_channel) {
    const bool fdma = satellite.system == GnssSystem::GLONASS && (band == 1 || band == 2);
    if (fdma && !glonass_channel) return std::nullopt;
    const auto f = carrier_frequency(system_letter(satellite.system), band, fdma ? glonass_channel : std::nullopt);
    if (!f) return std::nullopt;
    return kSpeedOfLight / *f;
}

std::optional<Satellite> satellite_from_snr_number(int64_t number) {
    if (number < 1 || number > 399 || number % 100 == 0) return std::nullopt;
    static constexpr GnssSystem systems[] = {GnssSystem::GPS, GnssSystem::GLONASS, GnssSystem::Galileo,
                                             GnssSystem::BeiDou};
    return Satellite{static_cast<uint32_t>(number % 100), systems[number / 100]};
}

double AmplitudeRule::for_signal(const ObservationCode& code) const {
    for (const auto& [name, value] : by_signal)
        if (name.attribute != ' ' && signal_matches(name, code)) return value;
    for (const auto& [name, value] : by_signal)
        if (name.attribute == ' ' && signal_matches(name, code)) return value;
    return fallback;
}

}  // namespace skyrift
