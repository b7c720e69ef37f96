#include "rinex/obs_reader.hpp"

#include "rinex/header_reader.hpp"
#include "rinex/record_readers.hpp"

namespace skyrift {

namespace {

// Room for the largest plausible record set (one observation per 16 bytes of text),
// so the flat arrays never move while they grow; trimmed to size at the end.
void reserve_for_text(RinexObsData& data, std::size_t text_bytes) {
    data.observations.reserve(text_bytes / 16 + 16);
    data.satellite_entries.reserve(text_bytes / 64 + 16);
}

void release_slack(RinexObsData& data) {
    data.epochs.shrink_to_fit();
    data.satellite_entries.shrink_to_fit();
    data.observations.shrink_to_fit();
}

}  // namespace

Result<RinexObsData> parse_observation_text(const TextBuffer& buffer) {
    LineSource source(buffer);
    auto header = read_header(source);
    if (!header) return header.error();
    RinexObsData data;
    data.header = std::move(*header);
    reserve_for_text(data, buffer.text.size());
    const Result<Ok> records = data.header.version.family == 2 ? read_rinex2_records(source, data)
                                                               : read_rinex3_records(source, data);
    if (!records) return records.error();
    release_slack(data);
    return data;
}

Result<RinexObsData> read_observation_file(const std::string& path) {
    auto text = read_text_file(path);
    if (!text) return text.error();
    return parse_observation_text(*text);
}

Result<RinexObsData> read_observation_bytes(std::string data, std::string_view filename) {
    if (has_gzip_extension(filename)) return parse_observation_text(inflate_gzip(data));
    return parse_observation_text(TextBuffer{std::move(data), std::nullopt});
}

}  // namespace skyrift
