#include "rinex/types.hpp"

#include "utils/number_parse.hpp"
#include "utils/text.hpp"

namespace skyrift {

namespace {
struct SystemInfo {
    char letter;
    std::string_view name;
    std::string_view abbreviation;
};
constexpr SystemInfo kSystems[kNumSystems] = {
    {'G', "GPS", "GPS"},    {'R', "GLONASS", "GLO"}, {'E', "Galileo", "GAL"}, {'C', "BeiDou", "BDS"},
    {'J', "QZSS", "QZS"},   {'S', "SBAS", "SBS"},    {'I', "NavIC", "IRN"},   {'M', "Mixed", "MIX"},
};
}  // namespace

std::string_view system_name(GnssSystem s) { return kSystems[static_cast<int>(s)].name; }
std::string_view system_abbreviation(GnssSystem s) { return kSystems[static_cast<int>(s)].abbreviation; }

std::optional<GnssSystem> system_from_letter(char letter) {
    for (int i = 0; i < kNumSystems; ++i)
        if (kSystems[i].letter == letter) return static_cast<GnssSystem>(i);
    return std::nullopt;
}

std::optional<GnssSystem> system_from_text(std::string_view text) {
    if (text.empty()) return std::nullopt;
    return system_from_letter(ascii_upper(text[0]));
}

std::string Satellite::id() const {
    std::string digits = std::to_string(prn);
    if (digits.size() < 2) digits.insert(0, "0");
    return std::string(1, system_letter(system)) + digits;
}

std::optional<Satellite> parse_satellite_id(std::string_view text) {
    const std::string_view t = trim_unicode(text);
    if (t.size() < 2) return std::nullopt;
    const auto system = system_from_letter(ascii_upper(t[0]));
    if (!system) return std::nullopt;
    const auto prn = integer_or_none<uint32_t>(trim_unicode(t.substr(1)));
    if (!prn) return std::nullopt;
    return Satellite{*prn, *system};
}

std::string ObservationCode::text() const {
    return {kind_letter(kind), static_cast<char>('0' + band), attribute};
}

std::optional<ObservationCode> parse_observation_code(std::string_view text) {
    const std::string_view t = trim_unicode(text);
    if (t.size() != 3) return std::nullopt;
    ObservationCode code;
    switch (ascii_upper(t[0])) {
        case 'C': code.kind = ObservationKind::C; break;
        case 'L': code.kind = ObservationKind::L; break;
        case 'D': code.kind = ObservationKind::D; break;
        case 'S': code.kind = ObservationKind::S; break;
        case 'X': code.kind = ObservationKind::X; break;
        default: return std::nullopt;
    }
    if (t[1] < '0' || t[1] > '9') return std::nullopt;
    code.band = static_cast<uint8_t>(t[1] - '0');
    code.attribute = ascii_upper(t[2]);
    return code;
}

std::optional<double> carrier_frequency(char letter, uint8_t band, std::optional<int8_t> fcn) {
    switch (letter) {
        case 'G':
            if (band == 1) return 1575420000.0;
            if (band == 2) return 1227600000.0;
            if (band == 5) return 1176450000.0;
            return std::nullopt;
        case 'R':
            if (band == 1) return fcn ? 1602000000.0 + *fcn * 562500.0 : 1602000000.0;
            if (band == 2) return fcn ? 1246000000.0 + *fcn * 437500.0 : 1246000000.0;
            if (band == 3) return 1202025000.0;
            return std::nullopt;
        case 'E':
            if (band == 1) return 1575420000.0;
            if (band == 5) return 1176450000.0;
            if (band == 6) return 1278750000.0;
            if (band == 7) return 1207140000.0;
            if (band == 8) return 1191795000.0;
            return std::nullopt;
        case 'C':
            if (band == 1) return 1575420000.0;
            if (band == 2) return 1561098000.0;
            if (band == 5) return 1176450000.0;
            if (band == 6) return 1268520000.0;
            if (band == 7) return 1207140000.0;
            return std::nullopt;
        case 'J':
            if (band == 1) return 1575420000.0;
            if (band == 2) return 1227600000.0;
            if (band == 5) return 1176450000.0;
            if (band == 6) return 1278750000.0;
            return std::nullopt;
        case 'S':
            if (band == 1) return 1575420000.0;
            if (band == 5) return 1176450000.0;
            return std::nullopt;
        case 'I':
            if (band == 5) return 1176450000.0;
            if (band == 9) return 2492028000.0;
            return std::nullopt;
        default: return std::nullopt;
    }
}

}  // namespace skyrift
