#include "navigation/nav_header.hpp"

#include <string>

#include "utils/number_parse.hpp"
#include "utils/text.hpp"

namespace skyrift {

namespace {

constexpr std::size_t kLabelColumn = 60;

std::string_view label_of(std::string_view line) { return trim_ascii(column(line, kLabelColumn, line.size())); }

// The one system of a RINEX 2 file, from its file-type letter.
std::optional<GnssSystem> version2_system(char type) {
    switch (type) {
        case 'N': return GnssSystem::GPS;
        case 'G': return GnssSystem::GLONASS;
        case 'H': return GnssSystem::SBAS;
        case 'E':
        case 'L': return GnssSystem::Galileo;
        default: return std::nullopt;
    }
}

// GPS - UTC from a LEAP SECONDS line; RINEX 3.04 allows the value in BeiDou time,
// which is 14 s less.
std::optional<int> leap_seconds_of(std::string_view line) {
    const auto value = integer_or_none<int>(trim_ascii(column(line, 0, 6)));
    if (!value || *value < 0 || *value > 100) return std::nullopt;
    return trim_ascii(column(line, 24, 27)) == "BDS" ? *value + 14 : *value;
}

}  // namespace

Result<NavHeader> parse_nav_header(const std::vector<std::string_view>& lines) {
    if (lines.empty() || label_of(lines[0]) != "RINEX VERSION / TYPE") {
        return GnssError::navigation_file("the first line is not a RINEX VERSION / TYPE line");
    }
    const std::string_view first = lines[0];
    const std::string_view version_text = trim_ascii(column(first, 0, 9));
    const auto version = float_or_none(version_text);
    if (!version || !(*version >= 2.0 && *version < 5.0)) return GnssError::unsupported_version(std::string(version_text));
    NavHeader header;
    header.major_version = static_cast<int>(*version);
    const char type = first.size() > 20 ? ascii_upper(first[20]) : ' ';
    if (header.major_version == 2) {
        header.file_system = version2_system(type);
        if (!header.file_system) {
            return GnssError::navigation_file(std::string("not a navigation file (file type '") + type + "')");
        }
    } else if (type != 'N' && type != 'G' && type != 'H') {
        return GnssError::navigation_file(std::string("not a navigation file (file type '") + type + "')");
    }
    header.first_record_line = lines.size();
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view label = label_of(lines[i]);
        if (label == "LEAP SECONDS") {
            header.leap_seconds = leap_seconds_of(lines[i]);
        } else if (label == "END OF HEADER") {
            header.first_record_line = i + 1;
            break;
        }
    }
    return header;
}

}  // namespace skyrift
