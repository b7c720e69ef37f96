#pragma once
// SP3 (a to d) precise-orbit reader. Lenient: only opening, reading or decoding the
// file can fail, or a file that is no SP3 (its first line is no SP3 header: "not an
// SP3 file: " and what it looks like); bad numbers take defaults and unusable lines
// are dropped.
#include <string>

#include "io/text_buffer.hpp"
#include "navigation/sp3_data.hpp"
#include "utils/result.hpp"

namespace skyrift {

// Through the input layer, so a name ending in ".gz" is inflated first.
Result<Sp3Data> read_sp3(const std::string& path);

// The same rules applied to decoded text; fails only where it is no SP3 text or its
// lines cannot be read.
Result<Sp3Data> parse_sp3_text(const TextBuffer& buffer);

}  // namespace skyrift
