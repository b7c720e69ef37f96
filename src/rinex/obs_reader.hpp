#pragma once
// Reading a whole observation file: source, header, then the records of its version.
#include <string>
#include <string_view>

#include "io/text_buffer.hpp"
#include "rinex/obs_data.hpp"
#include "utils/result.hpp"

namespace skyrift {

// From a path, through the input layer (gzip when the name ends in ".gz").
Result<RinexObsData> read_observation_file(const std::string& path);

// From file contents in memory; `filename` is the name the input layer's decoders see.
Result<RinexObsData> read_observation_bytes(std::string data, std::string_view filename);

// From decoded text.
Result<RinexObsData> parse_observation_text(const TextBuffer& buffer);

}  // namespace skyrift
