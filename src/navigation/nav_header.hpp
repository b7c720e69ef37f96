#pragma once
// Header of a RINEX navigation file (versions 2, 3 and 4): what the records need
// from it. Everything else in the header is skipped.
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "rinex/types.hpp"
#include "utils/result.hpp"

namespace skyrift {

struct NavHeader {
    int major_version = 0;          // 2, 3 or 4
    std::optional<GnssSystem> file_system;  // RINEX 2: the one system of the file's records
    std::optional<int> leap_seconds;        // GPS - UTC from "LEAP SECONDS", when given
    std::size_t first_record_line = 0;      // index of the line after "END OF HEADER"
};

// Navigation-file error when the first line is no RINEX VERSION / TYPE line of a
// navigation file; UnsupportedVersion for versions other than 2, 3 and 4. A header
// without "END OF HEADER" leaves no record lines.
Result<NavHeader> parse_nav_header(const std::vector<std::string_view>& lines);

}  // namespace skyrift
