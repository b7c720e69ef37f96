#pragma once
// Compact RINEX (Hatanaka) observation files, recognised by their first line, expanded
// to the RINEX text they encode (see io/crinex_decoder.hpp for the format).
#include <string_view>

#include "io/text_buffer.hpp"

namespace skyrift {

// True when the first line carries the label "CRINEX VERS   / TYPE" from column 61.
bool has_crinex_header(std::string_view text);

// The RINEX text. Damage (a broken field, a difference order out of range or missing,
// an epoch date that does not parse, a file or last line cut short) keeps the complete
// epochs before it and ends with a RinexParse trailing error naming the compact file's
// line (counted from 0): "RINEX parsing error at line N: Compact RINEX: <what>". A DOS
// end-of-file mark after the last line is no line (io/end_of_file_mark.hpp).
TextBuffer expand_crinex(std::string_view text);

}  // namespace skyrift
