#include "navigation/nav_record_fields.hpp"

#include <cmath>
#include <limits>

#include "utils/number_parse.hpp"
#include "utils/text.hpp"

namespace skyrift {

namespace {

constexpr std::size_t kNumberWidth = 19;

// Fortran D exponents ("1.5D+03") are read as E exponents.
double number_at(std::string_view line, std::size_t begin) {
    const std::string_view text = trim_ascii(column(line, begin, begin + kNumberWidth));
    if (text.empty() || text.size() > kNumberWidth) return std::numeric_limits<double>::quiet_NaN();
    char buffer[kNumberWidth];
    for (std::size_t i = 0; i < text.size(); ++i) buffer[i] = (text[i] == 'D' || text[i] == 'd') ? 'E' : text[i];
    double value = 0.0;
    if (parse_float(std::string_view(buffer, text.size()), value) != NumberError::None) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return value;
}

// A calendar epoch a navigation record can be about: fields within their ranges.
bool plausible(const Epoch& e) {
    return e.year >= 1980 && e.year <= 2200 && e.month >= 1 && e.month <= 12 && e.day >= 1 && e.day <= 31 &&
           e.hour <= 23 && e.minute <= 59 && e.second >= 0.0 && e.second < 61.0;
}

std::optional<Epoch> epoch_at(std::string_view line, std::size_t begin, std::size_t end) {
    const auto e = parse_rinex_epoch_fields(column(line, begin, end));
    if (!e || !plausible(*e)) return std::nullopt;
    return *e;
}

// Numbers of the first line from `first_column`, of the other lines from `orbit_column`.
void read_numbers(RecordFields& r, std::span<const std::string_view> lines, std::size_t first_column,
                  std::size_t orbit_column) {
    r.values.fill(std::numeric_limits<double>::quiet_NaN());
    r.lines = std::min(lines.size(), kMaxRecordLines);
    for (std::size_t k = 0; k < 3; ++k) r.values[k] = number_at(lines[0], first_column + k * kNumberWidth);
    for (std::size_t l = 1; l < r.lines; ++l) {
        for (std::size_t k = 0; k < 4; ++k) r.values[3 + 4 * (l - 1) + k] = number_at(lines[l], orbit_column + k * kNumberWidth);
    }
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool starts_record_v3(std::string_view line) { return !line.empty() && line[0] >= 'A' && line[0] <= 'Z'; }

bool starts_record_v2(std::string_view line) {
    return line.size() >= 2 && (line[0] == ' ' || is_digit(line[0])) && is_digit(line[1]);
}

std::size_t end_of_record(std::span<const std::string_view> lines, std::size_t first, bool version2) {
    std::size_t i = first + 1;
    for (; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (trim_ascii(line).empty() || line[0] == '>') break;
        if (version2 ? starts_record_v2(line) : starts_record_v3(line)) break;
    }
    return i;
}

std::optional<RecordFields> parse_record_v3(std::span<const std::string_view> lines) {
    if (lines.empty()) return std::nullopt;
    const auto satellite = parse_satellite_id(column(lines[0], 0, 3));
    if (!satellite || satellite->system == GnssSystem::Mixed || satellite->prn == 0) return std::nullopt;
    const auto epoch = epoch_at(lines[0], 4, 23);
    if (!epoch) return std::nullopt;
    RecordFields r;
    r.satellite = *satellite;
    r.epoch = *epoch;
    read_numbers(r, lines, 23, 4);
    return r;
}

std::optional<RecordFields> parse_record_v2(std::span<const std::string_view> lines, GnssSystem system) {
    if (lines.empty()) return std::nullopt;
    const auto prn = integer_or_none<uint32_t>(trim_ascii(column(lines[0], 0, 2)));
    if (!prn || *prn == 0) return std::nullopt;
    const auto epoch = epoch_at(lines[0], 2, 22);
    if (!epoch) return std::nullopt;
    RecordFields r;
    r.satellite = Satellite{*prn, system};
    r.epoch = *epoch;
    read_numbers(r, lines, 22, 3);
    return r;
}

}  // namespace skyrift
