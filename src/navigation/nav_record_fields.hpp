#pragma once
// The fixed-column layout shared by every navigation record: an SV / EPOCH / SV CLK
// line with three numbers, then "broadcast orbit" lines of four numbers each, 19
// characters per number. RINEX 2 and RINEX 3/4 differ only in where the columns start.
#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "rinex/types.hpp"
#include "utils/time.hpp"

namespace skyrift {

inline constexpr std::size_t kMaxRecordLines = 10;
inline constexpr std::size_t kMaxRecordValues = 3 + 4 * (kMaxRecordLines - 1);

struct RecordFields {
    Satellite satellite;
    Epoch epoch;         // as written (the system's own time scale)
    std::size_t lines = 0;
    // value(i): the i-th number of the record, 0..2 on the first line, 3 + 4 (L - 1) + k
    // for the k-th number of orbit line L; NaN when blank, unparsable or absent.
    std::array<double, kMaxRecordValues> values{};
    double value(std::size_t i) const { return values[i]; }
};

// A line that starts a record (anything else in the record area continues one).
bool starts_record_v3(std::string_view line);  // "G01 2020 ...": a system letter in column 0
bool starts_record_v2(std::string_view line);  // " 1 20 ...": a PRN in columns 0-1

// The line after the record that starts at `first`: its lines run until the next
// record start, a RINEX 4 frame line (">"), a blank line or the end.
std::size_t end_of_record(std::span<const std::string_view> lines, std::size_t first, bool version2);

// RINEX 3 and 4 layout; absent when the satellite or epoch is unusable.
std::optional<RecordFields> parse_record_v3(std::span<const std::string_view> lines);
// RINEX 2 layout: a two-digit PRN of the file's one system and a two-digit year.
std::optional<RecordFields> parse_record_v2(std::span<const std::string_view> lines, GnssSystem system);

}  // namespace skyrift
