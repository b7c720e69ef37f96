#pragma once
// SP3 (a to d) precise-orbit reader. Lenient: only opening or reading the file
// can fail; bad numbers take defaults and unusable lines are dropped.
#include <string>
#include <string_view>

#include "navigation/sp3_data.hpp"
#include "utils/result.hpp"

namespace skyrift {

Result<Sp3Data> read_sp3(const std::string& path);

// The same rules applied to text already in memory (must be valid UTF-8).
Sp3Data parse_sp3_text(std::string_view text);

}  // namespace skyrift
