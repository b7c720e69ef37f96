#include "navigation/rinex_nav_reader.hpp"

#include <vector>

#include "io/input.hpp"
#include "io/line_source.hpp"
#include "navigation/ephemeris_builder.hpp"
#include "navigation/nav_header.hpp"
#include "navigation/nav_record_fields.hpp"
#include "navigation/rinex4_nav_reader.hpp"

namespace skyrift {

namespace {

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

Result<NavData> parse_rinex_nav(const TextBuffer& buffer) {
    // Records are read with look-ahead (a record ends where the next one starts), so
    // the lines are collected first; they are views into `buffer`.
    std::vector<std::string_view> lines;
    LineSource source(buffer, LineEnds::AllCarriageReturns);
    Line line;
    while (source.next(line)) lines.push_back(line.text);
    // A file cut short inside its compression, or one that is no text, is an error,
    // not a shorter file.
    if (source.failed()) return source.error();
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
    return parse_rinex_nav(*buffer);
}

Result<NavData> read_rinex_nav_bytes(std::string bytes, std::string_view file_name) {
    return parse_rinex_nav(decode_input(std::move(bytes), file_name));
}

}  // namespace skyrift
