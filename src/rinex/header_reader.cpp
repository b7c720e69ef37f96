#include "rinex/header_reader.hpp"

#include <string>
#include <string_view>

#include "io/file_kind.hpp"
#include "utils/number_parse.hpp"
#include "utils/text.hpp"

namespace skyrift {

namespace {

// Latin-1 as UTF-8: every byte is the code point of its value.
std::string utf8_from_latin1(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return out;
}

// A text field by byte columns. Latin-1 has a byte per character, so its columns
// are those of the file; the field becomes UTF-8 after the cut.
std::string text_field(const Line& line, std::size_t begin, std::size_t end) {
    if (line.latin1) return std::string(trim_unicode(utf8_from_latin1(column(line.text, begin, end))));
    return std::string(trim_unicode(text_column(line.text, begin, end)));
}

// The n-th character (not byte) of a line, or 0 when the line is shorter or the
// character is not ASCII.
char ascii_char_at(const Line& line, std::size_t n) {
    if (line.latin1) return n < line.text.size() && static_cast<unsigned char>(line.text[n]) < 0x80 ? line.text[n] : 0;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < line.text.size(); ++i) {
        if ((static_cast<unsigned char>(line.text[i]) & 0xC0) == 0x80) continue;  // continuation byte
        if (chars++ == n) return static_cast<unsigned char>(line.text[i]) < 0x80 ? line.text[i] : 0;
    }
    return 0;
}

GnssError not_an_observation_file(const FileKindGuess& kind) {
    return GnssError::other("not an observation file: " + kind.description);
}

// First `n` characters of a text (whole UTF-8 sequences).
std::string_view first_chars(std::string_view s, std::size_t n) {
    std::size_t i = 0, chars = 0;
    while (i < s.size() && chars < n) {
        ++i;
        while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
        ++chars;
    }
    return s.substr(0, i);
}

// Keeps the first three numbers among the blank-separated tokens, if there are three.
void read_triple(std::string_view line, std::optional<std::array<double, 3>>& out) {
    std::array<double, 3> values{};
    std::size_t found = 0;
    for (std::string_view token : split_whitespace(text_column(line, 0, 60))) {
        if (found == 3) break;
        if (auto v = float_or_none(token)) values[found++] = *v;
    }
    if (found == 3) out = values;
}

std::optional<Epoch> header_epoch(std::string_view line) {
    auto epoch = parse_rinex_epoch_fields(text_column(line, 0, 43));
    if (!epoch) return std::nullopt;
    return *epoch;
}

void read_version_line(const Line& line, RinexHeader& h, std::optional<GnssError>& failure) {
    auto version = parse_rinex_version(trim_unicode(text_column(line.text, 0, 9)));
    if (!version) {
        failure = version.error();
        return;
    }
    // A blank or unreadable type is let through: the header reader is lenient.
    if (const FileKindGuess kind = kind_of_rinex_version_line(line.text);
        kind.kind != FileKind::Unknown && kind.kind != FileKind::RinexObservation) {
        failure = not_an_observation_file(kind);
        return;
    }
    h.version = *version;
    if (const char type = ascii_char_at(line, 20)) h.file_type = type;
    h.system = system_from_letter(ascii_upper(ascii_char_at(line, 40)));
}

void read_v2_types(std::string_view line, RinexHeader& h) {
    const std::string_view fields = text_column(line, 0, 60);
    std::size_t start = 0;
    const std::string_view count = trim_ascii(column(fields, 0, 6));
    if (!count.empty() && integer_or_none<uint64_t>(count)) start = 6;
    for (std::size_t pos = start; pos < fields.size(); pos += 6) {
        const std::string_view piece = trim_unicode(text_column(fields, pos, pos + 6));
        if (!piece.empty()) h.obs_types_v2.emplace_back(piece);
    }
}

void read_v3_types(std::string_view line, RinexHeader& h, std::optional<GnssSystem>& current) {
    if (line.empty()) return;
    if (line[0] != ' ') {
        const auto system = system_from_letter(ascii_upper(line[0]));
        if (!system) return;
        current = system;
    }
    if (!current) return;  // a continuation line with nothing to continue
    const auto s = static_cast<std::size_t>(*current);
    h.has_obs_types[s] = true;
    for (std::size_t pos = 7; pos < 60 && pos < line.size(); pos += 4) {
        const std::string_view piece = trim_unicode(text_column(line, pos, std::min<std::size_t>(pos + 4, 60)));
        if (piece.size() < 3) continue;
        if (auto code = parse_observation_code(piece)) h.obs_types_v3[s].push_back(*code);
    }
}

void read_glonass_slots(std::string_view line, RinexHeader& h) {
    const auto tokens = split_whitespace(text_column(line, 0, 60));
    std::size_t i = (!tokens.empty() && tokens[0][0] != 'R') ? 1 : 0;  // a first line starts with the count
    for (; i + 1 < tokens.size(); i += 2) {
        std::string_view slot = tokens[i];
        while (!slot.empty() && slot[0] == 'R') slot.remove_prefix(1);
        const auto prn = integer_or_none<uint32_t>(slot);
        const auto channel = integer_or_none<int8_t>(tokens[i + 1]);
        if (prn && channel) h.glonass_slots[*prn] = *channel;
    }
}

void read_code_phase_bias(std::string_view line, RinexHeader& h) {
    const auto tokens = split_whitespace(text_column(line, 0, 60));
    for (std::size_t i = 0; i + 1 < tokens.size(); i += 2) {
        const auto value = float_or_none(tokens[i + 1]);
        if (!value) continue;
        if (!h.glonass_code_phase_bias) h.glonass_code_phase_bias.emplace();
        (*h.glonass_code_phase_bias)[std::string(tokens[i])] = *value;
    }
}

// Returns false at "END OF HEADER".
bool read_header_line(const Line& source_line, RinexHeader& h, std::optional<GnssSystem>& v3_system,
                      std::optional<GnssError>& failure) {
    const std::string_view line = source_line.text;
    if (line.size() <= 59) return true;
    const std::string_view label = trim_unicode(text_column(line, 60, line.size()));
    if (label == "END OF HEADER") return false;
    if (label == "RINEX VERSION / TYPE") {
        read_version_line(source_line, h, failure);
    } else if (label == "PGM / RUN BY / DATE") {
        h.program = text_field(source_line, 0, 20);
        h.run_by = text_field(source_line, 20, 40);
        h.date = text_field(source_line, 40, 60);
    } else if (label == "MARKER NAME") {
        h.marker_name = text_field(source_line, 0, 60);
    } else if (label == "MARKER NUMBER") {
        h.marker_number = text_field(source_line, 0, 20);
    } else if (label == "MARKER TYPE") {
        h.marker_type = text_field(source_line, 0, 20);
    } else if (label == "OBSERVER / AGENCY") {
        h.observer = text_field(source_line, 0, 20);
        h.agency = text_field(source_line, 20, 60);
    } else if (label == "REC # / TYPE / VERS") {
        h.receiver_number = text_field(source_line, 0, 20);
        h.receiver_type = text_field(source_line, 20, 40);
        h.receiver_version = text_field(source_line, 40, 60);
    } else if (label == "ANT # / TYPE") {
        h.antenna_number = text_field(source_line, 0, 20);
        h.antenna_type = text_field(source_line, 20, 40);
    } else if (label == "APPROX POSITION XYZ") {
        read_triple(line, h.approx_position);
    } else if (label == "ANTENNA: DELTA H/E/N") {
        read_triple(line, h.antenna_delta);
    } else if (label == "INTERVAL") {
        if (auto v = float_or_none(trim_unicode(text_column(line, 0, 10)))) h.interval = *v;
    } else if (label == "TIME OF FIRST OBS") {
        if (auto e = header_epoch(line)) h.time_of_first_obs = *e;
        h.time_system = text_field(source_line, 48, 51);
    } else if (label == "TIME OF LAST OBS") {
        if (auto e = header_epoch(line)) h.time_of_last_obs = *e;
    } else if (label == "LEAP SECONDS") {
        if (auto v = integer_or_none<int32_t>(trim_unicode(text_column(line, 0, 6)))) h.leap_seconds = *v;
    } else if (label == "# OF SATELLITES") {
        if (auto v = integer_or_none<uint32_t>(trim_unicode(text_column(line, 0, 6)))) h.num_satellites = *v;
    } else if (label == "COMMENT") {
        h.comments.push_back(text_field(source_line, 0, 60));
    } else if (label == "# / TYPES OF OBSERV") {
        read_v2_types(line, h);
    } else if (label == "SYS / # / OBS TYPES") {
        read_v3_types(line, h, v3_system);
    } else if (label == "GLONASS SLOT / FRQ #") {
        read_glonass_slots(line, h);
    } else if (label == "GLONASS COD/PHS/BIS") {
        read_code_phase_bias(line, h);
    }
    return true;
}

}  // namespace

Result<RinexVersion> parse_rinex_version(std::string_view text) {
    const auto parts = split_on(text, '.');
    RinexVersion v;
    // Files of the 1990s write a bare major version ("2"): minor 0.
    const bool bare = parts.size() == 1;
    const auto family = parts.size() >= 1 ? integer_or_none<uint8_t>(parts[0]) : std::nullopt;
    const auto minor = bare ? std::optional<uint8_t>(0)
                            : parts.size() >= 2 ? integer_or_none<uint8_t>(first_chars(parts[1], 2)) : std::nullopt;
    if (!family || *family < 2 || *family > 4 || !minor) return GnssError::unsupported_version(std::string(text));
    v.family = *family;
    v.minor = *minor;
    return v;
}

Result<RinexHeader> read_header(LineSource& source) {
    RinexHeader h;
    std::optional<GnssSystem> v3_system;
    std::optional<GnssError> failure;
    Line line;
    bool first = true;
    while (source.next(line)) {
        if (first) {
            // Other formats are told by their first line (RINEX files by their type, above).
            const FileKindGuess kind = kind_of_first_line(line.text);
            if (kind.kind == FileKind::Ionex || kind.kind == FileKind::Antex || kind.kind == FileKind::Sp3 ||
                kind.kind == FileKind::Sinex)
                return not_an_observation_file(kind);
            first = false;
        }
        if (!read_header_line(line, h, v3_system, failure)) break;
        if (failure) return *failure;
    }
    if (source.failed()) return source.error();
    return h;
}

}  // namespace skyrift
