// RINEX 2 observation records: lines are gathered into blocks that start at an
// epoch line, and each block is parsed whole.
#include <algorithm>
#include <vector>

#include "rinex/code_layout.hpp"
#include "rinex/epoch_assembler.hpp"
#include "rinex/record_fields.hpp"
#include "rinex/record_readers.hpp"

namespace skyrift {

namespace {

constexpr std::size_t kSatellitesPerLine = 12;
constexpr std::size_t kTypesPerLine = 5;

// " 05  4  2  0  0  0.0000000  0  9G 3G 5 ...": digits and blanks at fixed places.
bool is_epoch_line(std::string_view line) {
    if (line.size() < 29) return false;
    for (std::size_t i : {0, 3, 6, 9, 12})
        if (line[i] != ' ') return false;
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return digit(line[2]) && (line[1] == ' ' || digit(line[1])) && line[18] == '.';
}

// RINEX 2.11 names band and kind but no tracking mode. Bands 1 and 2 take the C/A and
// P attributes; bands 5 to 8 (L5/E5a, E6, E5b, E5a+b) take X, the combined or unknown
// mode of RINEX 3.
std::optional<ObservationCode> v2_code(std::string_view type) {
    static constexpr std::pair<std::string_view, std::string_view> table[] = {
        {"C1", "C1C"}, {"C2", "C2C"}, {"C5", "C5X"}, {"P1", "C1P"}, {"P2", "C2P"}, {"L5", "L5X"},
        {"L1", "L1C"}, {"L2", "L2C"}, {"D5", "D5X"}, {"D1", "D1C"}, {"D2", "D2C"}, {"S5", "S5X"},
        {"S1", "S1C"}, {"S2", "S2C"},
        {"C6", "C6X"}, {"L6", "L6X"}, {"D6", "D6X"}, {"S6", "S6X"},
        {"C7", "C7X"}, {"L7", "L7X"}, {"D7", "D7X"}, {"S7", "S7X"},
        {"C8", "C8X"}, {"L8", "L8X"}, {"D8", "D8X"}, {"S8", "S8X"},
    };
    const std::string upper = ascii_uppercase(type);
    for (const auto& [from, to] : table)
        if (upper == from) return parse_observation_code(to);
    return std::nullopt;
}

CodeLayout layout_from_header(const RinexHeader& h) {
    std::vector<std::optional<ObservationCode>> codes;
    for (const std::string& type : h.obs_types_v2) codes.push_back(v2_code(type));
    return CodeLayout(codes);
}

// A 3-byte list entry: system letter (blank = GPS) and a PRN padded with blanks ("G 3",
// "  5"). Trailing blanks may be stripped from a line, so the last entry may come short:
// "R2" at the line end is "R2 ".
std::optional<Satellite> parse_list_entry(std::string_view cut_entry) {
    if (cut_entry.empty() || cut_entry.size() > 3) return std::nullopt;
    char padded[3] = {' ', ' ', ' '};
    std::copy(cut_entry.begin(), cut_entry.end(), padded);
    const std::string_view entry(padded, 3);
    Satellite sat;
    std::string_view prn = entry.substr(1);
    if (entry[0] >= '0' && entry[0] <= '9') {
        prn = entry;  // no system column at all: a bare GPS number
    } else if (entry[0] != ' ') {
        const auto system = system_from_letter(ascii_upper(entry[0]));
        if (!system) return std::nullopt;
        sat.system = *system;
    }
    const auto number = integer_or_none<uint32_t>(trim_ascii(prn));
    if (!number) return std::nullopt;
    sat.prn = *number;
    return sat;
}

// Lines holding the satellite list: one per twelve satellites of the count, except
// that a line with text in columns 1-32 cannot continue the list (continuation lines
// leave them blank), so a count larger than the list does not take observation lines.
std::size_t satellite_list_lines(const std::vector<std::string_view>& block, std::size_t n) {
    const std::size_t expected = n <= kSatellitesPerLine ? 1 : (n + kSatellitesPerLine - 1) / kSatellitesPerLine;
    std::size_t lines = 1;
    for (; lines < expected && lines < block.size(); ++lines) {
        const std::string_view head = column(block[lines], 0, 32);
        if (head.find_first_not_of(' ') != std::string_view::npos) break;
    }
    return lines < block.size() ? lines : expected;
}

class BlockParser {
public:
    BlockParser(RinexObsData& data) : layout_(layout_from_header(data.header)), assembler_(data) {}

    void parse(const std::vector<std::string_view>& block) {
        const std::string_view head = block[0];
        Epoch epoch;
        const int32_t yy = integer_field<int32_t>(head, 1, 3, 0);
        epoch.year = (yy >= 80 && yy <= 99) ? 1900 + yy : 2000 + yy;
        epoch.month = integer_field<uint32_t>(head, 4, 6, 1);
        epoch.day = integer_field<uint32_t>(head, 7, 9, 1);
        epoch.hour = integer_field<uint32_t>(head, 10, 12, 0);
        epoch.minute = integer_field<uint32_t>(head, 13, 15, 0);
        epoch.second = float_field(head, 15, 26, 0.0);
        const uint8_t flag = integer_field<uint8_t>(head, 26, 29, 0);
        if (flag >= 2 && flag <= 5) return;  // events: the lines that follow are not observations
        const std::size_t n = integer_field<uint32_t>(head, 29, 32, 0);

        const std::size_t list_lines = satellite_list_lines(block, n);
        const std::size_t lines_per_sat = (layout_.size() + kTypesPerLine - 1) / kTypesPerLine;
        for (std::size_t i = 0; i < n; ++i) {
            // Satellite i sits on list line i / 12, in columns 33-68 only (69-80 hold the clock offset).
            const std::size_t list_line = i / kSatellitesPerLine;
            if (list_line >= std::min(list_lines, block.size())) break;
            const std::size_t at = 32 + 3 * (i % kSatellitesPerLine);
            const auto sat = parse_list_entry(column(block[list_line], at, at + 3));
            if (!sat) continue;
            // Observation lines follow by list position, so a bad entry loses only its own lines.
            const std::size_t first_line = list_lines + i * lines_per_sat;
            const std::size_t first = assembler_.pending().size();
            layout_.emit(
                [&](uint32_t k) -> std::string_view {
                    const std::size_t line_no = first_line + k / kTypesPerLine;
                    if (line_no >= block.size()) return {};
                    const std::string_view line = block[line_no];
                    const std::size_t start = 16 * (k % kTypesPerLine);
                    return line.size() >= start + 14 ? column(line, start, start + 16) : std::string_view{};
                },
                assembler_.pending());
            if (assembler_.pending().size() > first) assembler_.add_satellite(*sat, first);
        }
        assembler_.finish_epoch(epoch, flag, std::nullopt);
    }

private:
    CodeLayout layout_;
    EpochAssembler assembler_;
};

}  // namespace

Result<Ok> read_rinex2_records(LineSource& source, RinexObsData& data) {
    BlockParser parser(data);
    std::vector<std::string_view> block;
    Line line;
    while (source.next(line)) {
        if (is_epoch_line(line.text)) {
            if (!block.empty()) parser.parse(block);
            block.clear();
            // The block holds the only views of earlier lines: their text may go.
            source.release_before(line);
            block.push_back(line.text);
        } else if (!block.empty()) {
            block.push_back(line.text);
        }
    }
    if (source.failed()) return source.error();
    if (!block.empty()) parser.parse(block);
    return Ok{};
}

}  // namespace skyrift
