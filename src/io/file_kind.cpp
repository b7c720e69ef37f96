#include "io/file_kind.hpp"

#include <algorithm>

#include "utils/text.hpp"

namespace skyrift {

namespace {

constexpr std::size_t kLabelColumn = 60;

std::string_view label_of(std::string_view line) {
    return line.size() > kLabelColumn ? trim_ascii(line.substr(kLabelColumn)) : std::string_view{};
}

FileKindGuess guess(FileKind kind, std::string description) { return {kind, std::move(description)}; }

}  // namespace

bool is_sp3_first_line(std::string_view line) {
    return line.size() >= 3 && line[0] == '#' && line[1] >= 'a' && line[1] <= 'z' && (line[2] == 'P' || line[2] == 'V');
}

FileKindGuess kind_of_rinex_version_line(std::string_view line) {
    const char type = line.size() > 20 ? ascii_upper(line[20]) : ' ';
    const char system = line.size() > 40 ? ascii_upper(line[40]) : ' ';
    const std::string letter(1, type);
    switch (type) {
        case 'O':
            if (system == 'D') return guess(FileKind::Doris, "DORIS RINEX file (type O, system D)");
            return guess(FileKind::RinexObservation, "RINEX observation file (type O)");
        // GPS or any system; RINEX 2 also GLONASS, SBAS, Galileo and QZSS, each a letter of its own
        case 'N':
        case 'G':
        case 'H':
        case 'E':
        case 'L':
        case 'J': return guess(FileKind::RinexNavigation, "RINEX navigation file (type " + letter + ")");
        case 'M': return guess(FileKind::RinexMeteorological, "RINEX meteorological file (type M)");
        case 'C': return guess(FileKind::RinexClock, "RINEX clock file (type C)");
        default: break;
    }
    const std::string_view fields = line.substr(0, std::min(line.size(), kLabelColumn));
    if (fields.find("CLOCK DATA") != std::string_view::npos) return guess(FileKind::RinexClock, "RINEX clock file");
    if (type >= 'A' && type <= 'Z') return guess(FileKind::RinexOther, "RINEX file of type " + letter);
    return {};
}

FileKindGuess kind_of_first_line(std::string_view line) {
    if (line.size() >= 2 && static_cast<unsigned char>(line[0]) == 0x1f && static_cast<unsigned char>(line[1]) == 0x8b)
        return guess(FileKind::Gzip, "gzip-compressed data (the name does not end in .gz)");
    if (std::any_of(line.begin(), line.end(), is_control_byte)) return guess(FileKind::Binary, "binary data");
    if (is_sp3_first_line(line)) return guess(FileKind::Sp3, "SP3 orbit file");
    if (line.starts_with("%=SNX") || line.starts_with("%=BIA")) return guess(FileKind::Sinex, "SINEX file");
    const std::string_view label = label_of(line);
    if (label == "RINEX VERSION / TYPE") return kind_of_rinex_version_line(line);
    if (label == "CRINEX VERS   / TYPE") return guess(FileKind::CompactRinex, "Compact RINEX file");
    if (label == "IONEX VERSION / TYPE") return guess(FileKind::Ionex, "IONEX file");
    if (label == "ANTEX VERSION / SYST") return guess(FileKind::Antex, "ANTEX file");
    return {};
}

}  // namespace skyrift
