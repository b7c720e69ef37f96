#pragma once
// RINEX navigation files (2.x GPS/GLONASS/Galileo/SBAS, 3.0x single-system and
// mixed, 4.00 frames) read into NavData. Lenient: a damaged record is dropped,
// never the file; only a file that cannot be read, or is no navigation file, fails.
#include <string>
#include <string_view>

#include "navigation/nav_data.hpp"
#include "utils/result.hpp"

namespace skyrift {

// The rules applied to decoded text.
Result<NavData> parse_rinex_nav(std::string_view text);

// A file by path: plain or gzip (by the ".gz" ending).
Result<NavData> read_rinex_nav(const std::string& path);

// The same from bytes in memory; `file_name` chooses the decoder as a path would.
Result<NavData> read_rinex_nav_bytes(std::string bytes, std::string_view file_name);

}  // namespace skyrift
