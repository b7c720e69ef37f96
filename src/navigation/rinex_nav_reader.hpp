#pragma once
// RINEX navigation files (2.x GPS/GLONASS/Galileo/SBAS, 3.0x single-system and
// mixed, 4.00 frames) read into NavData. Lenient: a damaged record is dropped,
// never the file; only a file that cannot be read, or is no navigation file, fails.
#include <string>
#include <string_view>

#include "io/text_buffer.hpp"
#include "navigation/nav_data.hpp"
#include "utils/result.hpp"

namespace skyrift {

// The rules applied to the input layer's decoded text (see io/input.hpp): every
// decoder stage of that layer (gzip, ...) applies to navigation files too. Text that
// is no valid UTF-8, or a decoder failure part-way, is an Io error.
Result<NavData> parse_rinex_nav(const TextBuffer& buffer);

// A file by path; "File not found: <path>" when there is none.
Result<NavData> read_rinex_nav(const std::string& path);

// The same from bytes in memory; `file_name` is the name the bytes came under.
Result<NavData> read_rinex_nav_bytes(std::string bytes, std::string_view file_name);

}  // namespace skyrift
