#pragma once
// Constellations, satellites, observation codes and carrier frequencies.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "utils/constants.hpp"

namespace skyrift {

enum class GnssSystem : uint8_t { GPS = 0, GLONASS, Galileo, BeiDou, QZSS, SBAS, NavIC, Mixed };
inline constexpr int kNumSystems = 8;

// 'G', 'R', ... (inline: satellite order compares letters in every sort and search)
inline char system_letter(GnssSystem s) {
    static constexpr char letters[] = {'G', 'R', 'E', 'C', 'J', 'S', 'I', 'M'};
    return letters[static_cast<int>(s)];
}
std::string_view system_name(GnssSystem s);     // "GPS", "GLONASS", "Galileo", ...
std::string_view system_abbreviation(GnssSystem s);  // "GPS", "GLO", "GAL", "BDS", ...
// Letter (already case-folded by the caller where the rule says so) to system.
std::optional<GnssSystem> system_from_letter(char letter);
// First character with ASCII lower case folded: the rule of the constructor, filters and header.
std::optional<GnssSystem> system_from_text(std::string_view text);

struct Satellite {
    uint32_t prn = 0;
    GnssSystem system = GnssSystem::GPS;

    std::string id() const;  // "G01", "E105"
    friend bool operator==(const Satellite&, const Satellite&) = default;
};

// Listing order: system letter in character order, then PRN.
inline bool operator<(const Satellite& a, const Satellite& b) {
    const char la = system_letter(a.system), lb = system_letter(b.system);
    return la != lb ? la < lb : a.prn < b.prn;
}

std::optional<Satellite> parse_satellite_id(std::string_view text);

enum class ObservationKind : uint8_t { C = 0, L = 1, D = 2, S = 3, X = 4 };
// 'C', 'L', ... (inline: code order compares letters in every sort and search)
inline char kind_letter(ObservationKind k) {
    static constexpr char letters[] = {'C', 'L', 'D', 'S', 'X'};
    return letters[static_cast<int>(k)];
}

struct ObservationCode {
    ObservationKind kind = ObservationKind::C;
    uint8_t band = 0;
    char attribute = ' ';

    std::string text() const;  // "C1C"
    friend bool operator==(const ObservationCode&, const ObservationCode&) = default;
};

// Byte order of the text form, the order in which code lists are shown.
inline bool operator<(const ObservationCode& a, const ObservationCode& b) {
    const char ka = kind_letter(a.kind), kb = kind_letter(b.kind);
    if (ka != kb) return ka < kb;
    if (a.band != b.band) return a.band < b.band;
    return static_cast<unsigned char>(a.attribute) < static_cast<unsigned char>(b.attribute);
}

std::optional<ObservationCode> parse_observation_code(std::string_view text);

// Carrier frequency in Hz by system letter, band digit and optional GLONASS channel.
std::optional<double> carrier_frequency(char letter, uint8_t band, std::optional<int8_t> fcn);

}  // namespace skyrift

template <>
struct std::hash<skyrift::Satellite> {
    std::size_t operator()(const skyrift::Satellite& s) const noexcept {
        return std::hash<uint64_t>{}((uint64_t(s.system) << 32) | s.prn);
    }
};

template <>
struct std::hash<skyrift::ObservationCode> {
    std::size_t operator()(const skyrift::ObservationCode& c) const noexcept {
        return std::hash<uint32_t>{}((uint32_t(c.kind) << 16) | (uint32_t(c.band) << 8) |
                                     static_cast<unsigned char>(c.attribute));
    }
};
