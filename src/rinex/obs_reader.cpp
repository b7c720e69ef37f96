#include "rinex/obs_reader.hpp"

#include <algorithm>
#include <type_traits>

#include "io/input.hpp"
#include "io/line_source.hpp"
#include "io/text_stream.hpp"
#include "rinex/header_reader.hpp"
#include "rinex/record_readers.hpp"
#include "utils/memory.hpp"

namespace skyrift {

namespace {

// Room for the largest plausible record set (one observation per 16 bytes of text),
// so the flat arrays never move while they grow; trimmed to size at the end.
void reserve_for_text(RinexObsData& data, std::size_t text_bytes) {
    data.observations.reserve(text_bytes / 16 + 16);
    data.satellite_entries.reserve(text_bytes / 64 + 16);
    // Huge pages for the large array only: a huge page is faulted in whole, so the one
    // being filled holds up to 2 MB more than the values; for the satellite entries,
    // a tenth of the size, that would outweigh the faults saved.
    advise_huge_pages(data.observations.data(), data.observations.capacity() * sizeof(ObservationEntry));
}

// shrink_to_fit, with the new block faulted in as huge pages where asked. The copy goes a slice
// at a time and gives each copied slice of the old block back at once, so that the
// values are never held twice.
template <typename T>
void fit_capacity(std::vector<T>& values, bool huge_pages) {
    if (values.capacity() == values.size()) return;
    static_assert(std::is_trivially_copyable_v<T>);
    constexpr std::size_t kSlice = (std::size_t{1} << 20) / sizeof(T);
    std::vector<T> fitted;
    fitted.reserve(values.size());
    if (huge_pages) advise_huge_pages(fitted.data(), fitted.capacity() * sizeof(T));
    for (std::size_t at = 0; at < values.size(); at += kSlice) {
        const std::size_t n = std::min(kSlice, values.size() - at);
        fitted.insert(fitted.end(), values.begin() + static_cast<std::ptrdiff_t>(at),
                      values.begin() + static_cast<std::ptrdiff_t>(at + n));
        release_pages(values.data() + at, n * sizeof(T));
    }
    values.swap(fitted);
}

void release_slack(RinexObsData& data) {
    fit_capacity(data.epochs, false);
    fit_capacity(data.satellite_entries, false);
    fit_capacity(data.observations, true);
}

}  // namespace

Result<RinexObsData> parse_observation_text(const TextBuffer& buffer, std::optional<GnssError>* damage) {
    // Header text may be Latin-1 (station names, comments); in the records only the
    // header lines of events may.
    LineSource source(buffer, LineEnds::AllCarriageReturns, OtherText::Latin1);
    auto header = read_header(source);
    if (!header) return header.error();
    source.set_other_text(OtherText::Latin1Labelled);
    RinexObsData data;
    data.header = std::move(*header);
    reserve_for_text(data, buffer.stream ? buffer.stream->expected_size() : buffer.text.size());
    Result<Ok> records = data.header.version.family == 2 ? read_rinex2_records(source, data)
                                                         : read_rinex3_records(source, data);
    if (!records) {
        if (!damage) return records.error();
        *damage = records.error();
    }
    release_slack(data);
    return data;
}

Result<RinexObsData> read_observation_file(const std::string& path, std::optional<GnssError>* damage) {
    Result<RinexObsData> data = [&]() -> Result<RinexObsData> {
        auto text = read_text_file(path, PathErrors::FileNotFound);
        if (!text) return text.error();
        return parse_observation_text(*text, damage);
    }();
    release_free_memory();  // the text's pieces are gone
    return data;
}

Result<RinexObsData> read_observation_bytes(std::string data, std::string_view filename,
                                            std::optional<GnssError>* damage) {
    Result<RinexObsData> result = parse_observation_text(decode_input(std::move(data), filename), damage);
    release_free_memory();
    return result;
}

}  // namespace skyrift
