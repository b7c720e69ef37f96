#pragma once
// The observation header, read line by line up to and including "END OF HEADER".
#include "io/line_source.hpp"
#include "rinex/header.hpp"
#include "utils/result.hpp"

namespace skyrift {

// Fails only on an unsupported version line or an unreadable line.
Result<RinexHeader> read_header(LineSource& source);

// "3.04" -> family 3, minor 4; UnsupportedVersion with the text otherwise.
Result<RinexVersion> parse_rinex_version(std::string_view text);

}  // namespace skyrift
