// RINEX 3/4 observation records.
#include <array>

#include "rinex/code_layout.hpp"
#include "rinex/epoch_assembler.hpp"
#include "rinex/record_fields.hpp"
#include "rinex/record_readers.hpp"

namespace skyrift {

namespace {

using Layouts = std::array<std::optional<CodeLayout>, kNumSystems>;

Layouts layouts_from_header(const RinexHeader& h) {
    Layouts layouts;
    for (int s = 0; s < kNumSystems; ++s) {
        if (!h.has_obs_types[s]) continue;
        const std::vector<std::optional<ObservationCode>> codes(h.obs_types_v3[s].begin(), h.obs_types_v3[s].end());
        layouts[s].emplace(codes);
    }
    return layouts;
}

struct EpochLine {
    Epoch epoch;
    uint8_t flag = 0;
    uint32_t count = 0;
    std::optional<double> clock_offset;
};

// "> 2020 01 01 00 00  0.0000000  0 12       0.000000000000": unparsable fields take defaults.
EpochLine parse_epoch_line(std::string_view line) {
    EpochLine e;
    e.epoch.year = integer_field<int32_t>(line, 2, 6, 2000);
    e.epoch.month = integer_field<uint32_t>(line, 7, 9, 1);
    e.epoch.day = integer_field<uint32_t>(line, 10, 12, 1);
    e.epoch.hour = integer_field<uint32_t>(line, 13, 15, 0);
    e.epoch.minute = integer_field<uint32_t>(line, 16, 18, 0);
    e.epoch.second = float_field(line, 19, 30, 0.0);
    e.flag = integer_field<uint8_t>(line, 31, 32, 0);
    e.count = integer_field<uint32_t>(line, 32, 35, 0);
    if (line.size() >= 56) {
        double clock = 0.0;
        if (parse_float(trim_field(column(line, 41, 56)), clock) == NumberError::None) e.clock_offset = clock;
    }
    return e;
}

// "G01  20000000.123 7 ...": observation k in bytes [3 + 16k, 19 + 16k).
void read_satellite_line(std::string_view line, const Layouts& layouts, EpochAssembler& assembler) {
    if (line.size() < 3) return;
    const auto sat = parse_satellite_id(line.substr(0, 3));
    if (!sat) return;
    const auto& layout = layouts[static_cast<std::size_t>(sat->system)];
    if (!layout) return;
    const std::size_t first = assembler.pending().size();
    layout->emit([&](uint32_t k) { return column(line, 3 + 16 * std::size_t{k}, 19 + 16 * std::size_t{k}); },
                 assembler.pending());
    assembler.add_satellite(*sat, first);
}

}  // namespace

Result<Ok> read_rinex3_records(LineSource& source, RinexObsData& data) {
    const Layouts layouts = layouts_from_header(data.header);
    EpochAssembler assembler(data);
    Line line;
    bool have_line = source.next(line);
    while (have_line) {
        if (line.text.empty() || line.text[0] != '>') {  // also covers lines blank after trimming
            have_line = source.next(line);
            continue;
        }
        // Nothing of the lines before an epoch is kept: their text may go.
        source.release_before(line);
        if (line.text.size() <= 31) return GnssError::rinex_parse(line.index, "Epoch line too short");
        const EpochLine epoch = parse_epoch_line(line.text);
        // A ">" line always starts an epoch: a count larger than the lines that follow
        // ends this epoch there instead of swallowing the next one.
        have_line = false;
        for (uint32_t i = 0; i < epoch.count && source.next(line); ++i) {
            if (!line.text.empty() && line.text[0] == '>') {
                have_line = true;
                break;
            }
            read_satellite_line(line.text, layouts, assembler);
        }
        if (source.failed()) break;
        // An event (flags 2 to 5) is followed by header lines, not satellites: with none
        // read as a satellite it is no epoch of observations.
        const bool event = epoch.flag >= 2 && epoch.flag <= 5;
        if (event && !assembler.has_satellites()) {
            assembler.discard_epoch();
        } else {
            assembler.finish_epoch(epoch.epoch, epoch.flag, epoch.clock_offset);
        }
        if (!have_line) have_line = source.next(line);
    }
    if (source.failed()) return source.error();
    return Ok{};
}

}  // namespace skyrift
