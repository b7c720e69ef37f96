#include "navigation/sp3_reader.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <string>
#include <optional>
#include <unordered_map>

#include "io/file_kind.hpp"
#include "io/input.hpp"
#include "io/line_source.hpp"
#include "utils/number_parse.hpp"
#include "utils/text.hpp"

namespace skyrift {

namespace {

constexpr std::size_t kMinHeaderLength = 60;
constexpr std::size_t kMinPositionLength = 60;
constexpr std::size_t kEpochFieldsEnd = 31;
constexpr double kUnparsableInterval = 900.0;
constexpr double kMaxGoodClock = 900000.0;  // beyond it (999999.999999 included) the clock is unknown
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Fixed-column fields are byte ranges; a cut inside a multi-byte character makes
// the line unusable, so such lines are skipped rather than mis-sliced.
bool cuts_a_character(std::string_view line, std::initializer_list<std::size_t> cuts) {
    return std::any_of(cuts.begin(), cuts.end(), [&](std::size_t pos) { return splits_utf8_char(line, pos); });
}

std::string_view field(std::string_view line, std::size_t begin, std::size_t end) {
    return trim_unicode(column(line, begin, end));
}

// Six blank-separated fields in columns 3..31, years as written (no two-digit widening).
// A short or unparsable line gives nothing, so the previous epoch stays in force.
std::optional<Epoch> parse_epoch_line(std::string_view line) {
    if (line.size() < kEpochFieldsEnd || cuts_a_character(line, {3, kEpochFieldsEnd})) return std::nullopt;
    const auto parts = split_whitespace(line.substr(3, kEpochFieldsEnd - 3));
    if (parts.size() < 6) return std::nullopt;
    Epoch e;
    if (parse_integer(parts[0], e.year) != NumberError::None || parse_integer(parts[1], e.month) != NumberError::None ||
        parse_integer(parts[2], e.day) != NumberError::None || parse_integer(parts[3], e.hour) != NumberError::None ||
        parse_integer(parts[4], e.minute) != NumberError::None || parse_float(parts[5], e.second) != NumberError::None) {
        return std::nullopt;
    }
    return e;
}

struct PositionLine {
    Satellite satellite;
    Sp3Record record;
};

// SP3-a and many SP3-c writers leave the system letter blank ("P  1"): the format
// reads that as GPS.
std::optional<Satellite> parse_record_satellite(std::string_view line) {
    if (line[1] == ' ') return parse_satellite_id("G" + std::string(line.substr(2, 2)));
    return parse_satellite_id(line.substr(1, 3));
}

// The clock as written, or NaN where the file marks it unknown (999999.999999) or gives
// no usable number: a bad clock says nothing against the position beside it.
double parse_record_clock(std::string_view line) {
    const double clock = float_or_none(field(line, 46, 60)).value_or(kNaN);
    return std::fabs(clock) <= kMaxGoodClock ? clock : kNaN;
}

std::optional<PositionLine> parse_position_line(std::string_view line, const Epoch& epoch) {
    if (line.size() < kMinPositionLength || cuts_a_character(line, {1, 4, 18, 32, 46, 60})) return std::nullopt;
    const auto satellite = parse_record_satellite(line);
    if (!satellite) return std::nullopt;
    const auto x = float_or_none(field(line, 4, 18)), y = float_or_none(field(line, 18, 32)),
               z = float_or_none(field(line, 32, 46));
    // A coordinate that does not parse (or is not a number) leaves no position to keep.
    if (!x || !y || !z || !std::isfinite(*x) || !std::isfinite(*y) || !std::isfinite(*z)) return std::nullopt;
    // 0.000000 in all three is the format's "position unknown", not the Earth's centre.
    if (*x == 0.0 && *y == 0.0 && *z == 0.0) return std::nullopt;
    const Sp3Record r{epoch, *x * 1000.0, *y * 1000.0, *z * 1000.0, parse_record_clock(line)};
    return PositionLine{*satellite, r};
}

class Sp3Builder {
public:
    void line(std::string_view line) {
        if (line.empty()) return;
        switch (line[0]) {
            case '#': header_line(line); break;
            case '*':
                if (auto e = parse_epoch_line(line)) epoch_ = *e;
                break;
            case 'P':
                if (epoch_) {
                    if (auto p = parse_position_line(line, *epoch_)) add(p->satellite, p->record);
                }
                break;
            default: break;  // "%", "+", "/", "V", "E", "EOF" and blanks carry nothing we keep
        }
    }

    Sp3Data finish() && {
        std::sort(data_.orbits.begin(), data_.orbits.end(),
                  [](const SatelliteRecords& a, const SatelliteRecords& b) { return a.satellite < b.satellite; });
        return std::move(data_);
    }

private:
    void header_line(std::string_view line) {
        if (line.size() < kMinHeaderLength) return;
        const char second = line[1];
        if (second == 'a' || second == 'b' || second == 'c' || second == 'd') {
            if (cuts_a_character(line, {32, 39})) return;
            data_.num_epochs = integer_or_none<uint64_t>(field(line, 32, 39)).value_or(0);
        } else if (second == '#') {
            if (cuts_a_character(line, {24, 38})) return;
            data_.interval = float_or_none(field(line, 24, 38)).value_or(kUnparsableInterval);
        }
    }

    void add(const Satellite& satellite, const Sp3Record& record) {
        const auto [it, inserted] = index_.try_emplace(satellite, data_.orbits.size());
        if (inserted) data_.orbits.push_back({satellite, {}});
        data_.orbits[it->second].records.push_back(record);
    }

    Sp3Data data_;
    std::optional<Epoch> epoch_;
    std::unordered_map<Satellite, std::size_t> index_;
};

GnssError not_an_sp3_file(std::string_view what) { return GnssError::other("not an SP3 file: " + std::string(what)); }

// The first line must be an SP3 header line; otherwise the file is named for what it
// looks like. A decoder failure before any line is that failure.
std::optional<GnssError> check_first_line(LineSource& source, Line& first) {
    if (source.next(first)) {
        if (is_sp3_first_line(first.text)) return std::nullopt;
        const FileKindGuess kind = kind_of_first_line(first.text);
        if (kind.kind != FileKind::Unknown) return not_an_sp3_file(kind.description);
        if (trim_ascii(first.text).empty()) return not_an_sp3_file("the first line is blank");
        return not_an_sp3_file("the first line is not an SP3 header");
    }
    if (!source.failed()) return not_an_sp3_file("the file is empty");
    // A header line with a byte that is no text is a damaged SP3 file, and fails as one.
    const std::string_view refused = source.refused_line();
    if (refused.empty() || is_sp3_first_line(refused)) return source.error();
    const FileKindGuess kind = kind_of_first_line(refused);
    return not_an_sp3_file(kind.kind != FileKind::Unknown ? kind.description : "the first line is not text");
}

}  // namespace

Result<Sp3Data> parse_sp3_text(const TextBuffer& buffer) {
    Sp3Builder builder;
    LineSource source(buffer, LineEnds::OneCarriageReturn);
    Line line;
    if (auto failure = check_first_line(source, line)) return *failure;
    builder.line(line.text);
    while (source.next(line)) builder.line(line.text);
    if (source.failed()) return source.error();
    return std::move(builder).finish();
}

Result<Sp3Data> read_sp3(const std::string& path) {
    auto text = read_text_file(path, PathErrors::Io);
    if (!text) return text.error();
    return parse_sp3_text(*text);
}

}  // namespace skyrift
