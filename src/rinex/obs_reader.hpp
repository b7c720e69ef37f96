#pragma once
// Reading a whole observation file: source, header, then the records of its version.
#include <optional>
#include <string>
#include <string_view>

#include "io/text_buffer.hpp"
#include "rinex/obs_data.hpp"
#include "utils/result.hpp"

namespace skyrift {

// Damage after the header (a decoder failure, a broken record, a line that is no text)
// fails the read. Given `damage`, a read stops there instead: it keeps the epochs
// before the damage and stores the failure in `*damage` (left empty when the file was
// whole). Failures before the records (no file, a bad version line, a file of another
// kind, damage inside the header) fail either way.

// From a path, through the input layer (gzip when the name ends in ".gz").
Result<RinexObsData> read_observation_file(const std::string& path, std::optional<GnssError>* damage = nullptr);

// From file contents in memory; `filename` is the name the input layer's decoders see.
Result<RinexObsData> read_observation_bytes(std::string data, std::string_view filename,
                                            std::optional<GnssError>* damage = nullptr);

// From decoded text.
Result<RinexObsData> parse_observation_text(const TextBuffer& buffer, std::optional<GnssError>* damage = nullptr);

}  // namespace skyrift
