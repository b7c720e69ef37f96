#include "navigation/rinex4_nav_reader.hpp"

#include "navigation/ephemeris_builder.hpp"
#include "navigation/nav_record_fields.hpp"
#include "utils/text.hpp"

namespace skyrift {

namespace {

std::optional<NavMessage> message_named(std::string_view name) {
    static constexpr NavMessage kAll[] = {NavMessage::Lnav, NavMessage::Cnav, NavMessage::Cnav2,
                                          NavMessage::Inav, NavMessage::Fnav, NavMessage::D1,
                                          NavMessage::D2,   NavMessage::Fdma, NavMessage::Sbas};
    for (NavMessage m : kAll) {
        if (nav_message_name(m) == name) return m;
    }
    return std::nullopt;
}

// What an "> EPH" frame line announces; absent for other frames, unsupported message
// types (BeiDou CNAV-1/2/3, NavIC L1NV, ...) and unreadable frame lines.
struct EphemerisFrame {
    Satellite satellite;
    NavMessage message;
};

std::optional<EphemerisFrame> ephemeris_frame(std::string_view line) {
    const auto words = split_whitespace(line.substr(1));
    if (words.size() < 3 || words[0] != "EPH") return std::nullopt;
    const auto satellite = parse_satellite_id(words[1]);
    const auto message = message_named(words[2]);
    if (!satellite || !message || !message_belongs_to(*message, satellite->system)) return std::nullopt;
    return EphemerisFrame{*satellite, *message};
}

}  // namespace

void read_rinex4_frames(std::span<const std::string_view> lines, std::optional<int> leap_seconds,
                        std::vector<BroadcastEphemeris>& out) {
    std::size_t i = 0;
    while (i < lines.size()) {
        const std::string_view line = lines[i];
        if (line.empty() || line[0] != '>') {
            ++i;  // outside an ephemeris frame, or the rest of a skipped frame
            continue;
        }
        const auto frame = ephemeris_frame(line);
        ++i;
        if (!frame || i >= lines.size() || !starts_record_v3(lines[i])) continue;
        const std::size_t end = end_of_record(lines, i, false);
        const auto fields = parse_record_v3(lines.subspan(i, end - i));
        i = end;
        // The record must be the one its frame announces.
        if (!fields || fields->satellite != frame->satellite) continue;
        if (auto e = build_ephemeris(*fields, frame->message, leap_seconds, static_cast<uint32_t>(out.size()))) {
            out.push_back(std::move(*e));
        }
    }
}

}  // namespace skyrift
