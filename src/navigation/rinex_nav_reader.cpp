#include "navigation/rinex_nav_reader.hpp"

#include <vector>

#include "io/input.hpp"
#include "navigation/ephemeris_builder.hpp"
#include "navigation/nav_header.hpp"
#include "navigation/nav_record_fields.hpp"
#include "navigation/rinex4_nav_reader.hpp"

namespace skyrift {

namespace {

// Lines without their "\n" and any "\r" before it.
std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
    }
    return lines;
}

// RINEX 2 and 3: one record after another, each naming its satellite (RINEX 2 by
// PRN within the file's one system) but not its message type.
void read_records(std::span<const std::string_view> lines, const NavHeader& header,
                  std::vector<BroadcastEphemeris>& out) {
    const bool version2 = header.major_version == 2;
    std::size_t i = 0;
    while (i < lines.size()) {
        if (!(version2 ? starts_record_v2(lines[i]) : starts_record_v3(lines[i]))) {
            ++i;  // a stray continuation or blank line: part of a record already dropped
            continue;
        }
        const std::size_t end = end_of_record(lines, i, version2);
        const auto record = lines.subspan(i, end - i);
        i = end;
        const auto fields = version2 ? parse_record_v2(record, *header.file_system) : parse_record_v3(record);
        if (!fields) continue;
        auto e = build_ephemeris(*fields, inferred_message(*fields), header.leap_seconds,
                                 static_cast<uint32_t>(out.size()));
        if (e) out.push_back(std::move(*e));
    }
}

}  // namespace

Result<NavData> parse_rinex_nav(std::string_view text) {
    const std::vector<std::string_view> lines = split_lines(text);
    auto header = parse_nav_header(lines);
    if (!header) return header.error();
    const auto body = std::span<const std::string_view>(lines).subspan(header->first_record_line);
    std::vector<BroadcastEphemeris> ephemerides;
    if (header->major_version == 4) {
        read_rinex4_frames(body, header->leap_seconds, ephemerides);
    } else {
        read_records(body, *header, ephemerides);
    }
    return make_nav_data(std::move(ephemerides), header->leap_seconds);
}

Result<NavData> read_rinex_nav(const std::string& path) {
    auto buffer = read_text_file(path, PathErrors::FileNotFound);
    if (!buffer) return buffer.error();
    // A file cut short inside its compression is an error, not a shorter file.
    if (buffer->trailing_error) return *buffer->trailing_error;
    return parse_rinex_nav(buffer->text);
}

Result<NavData> read_rinex_nav_bytes(std::string bytes, std::string_view file_name) {
    TextBuffer buffer = decode_input(std::move(bytes), file_name);
    if (buffer.trailing_error) return *buffer.trailing_error;
    return parse_rinex_nav(buffer.text);
}

}  // namespace skyrift
