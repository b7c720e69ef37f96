#include "analysis/multipath/analyzer_config.hpp"

#include "utils/text.hpp"

namespace skyrift {

std::vector<GnssSystem> default_systems() {
    return {GnssSystem::GPS, GnssSystem::GLONASS, GnssSystem::Galileo, GnssSystem::BeiDou};
}

std::vector<GnssSystem> systems_from_names(const std::vector<std::string>& names) {
    std::vector<GnssSystem> systems;
    for (const std::string& name : names) {
        if (const auto system = system_from_text(name)) systems.push_back(*system);
    }
    return systems;
}

namespace {

std::string filter_message(std::string_view label, const std::string& entry, std::string_view what) {
    return std::string(label) + " entry '" + entry + "' " + std::string(what);
}

}  // namespace

Result<std::vector<std::string>> normalize_code_filter(std::string_view label,
                                                       const std::vector<std::string>& entries) {
    std::vector<std::string> normalized;
    for (const std::string& entry : entries) {
        const std::string code = ascii_uppercase(trim_unicode(entry));
        if (code.size() != 3 && code.size() != 4) {
            return GnssError::other(filter_message(
                label, entry, "must be a 3-char code ('C1C') or system+code ('GC1C')"));
        }
        if (!parse_observation_code(std::string_view(code).substr(code.size() - 3))) {
            return GnssError::other(filter_message(label, entry, "is not a valid signal code"));
        }
        // A multi-byte first character is not an ASCII letter and fails here as well.
        if (code.size() == 4 && !system_from_letter(code[0])) {
            return GnssError::other(filter_message(label, entry, "has an unknown system prefix"));
        }
        normalized.push_back(code);
    }
    return normalized;
}

Result<uint64_t> check_min_arc_points(uint64_t points) {
    if (points < 1) return GnssError::other("min_arc_points must be at least 1, not " + std::to_string(points));
    return points;
}

Result<Ecef> receiver_position(const RinexHeader& header, const std::optional<Ecef>& given) {
    if (given) return *given;
    if (!header.approx_position)
        return GnssError::configuration(
            "an orbit needs a receiver position, and the file has no APPROX POSITION XYZ: pass receiver=Ecef(x, y, z)");
    const auto& [x, y, z] = *header.approx_position;
    if (x == 0.0 && y == 0.0 && z == 0.0)
        return GnssError::configuration(
            "an orbit needs a receiver position, and the file's APPROX POSITION XYZ is 0 0 0: pass receiver=Ecef(x, y, z)");
    return Ecef{x, y, z};
}

}  // namespace skyrift
