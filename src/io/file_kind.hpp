#pragma once
// What kind of file a text is, told from its first line, so that a reader given a file
// of another kind can refuse it with a message that names what it got.
#include <string>
#include <string_view>

namespace skyrift {

enum class FileKind {
    Unknown,  // nothing recognisable: the reader decides
    Binary,   // control bytes or bytes that are no text
    Gzip,     // gzip data the input layer did not inflate (its name lacks ".gz")
    RinexObservation,
    RinexNavigation,
    RinexMeteorological,
    RinexClock,
    RinexOther,  // a RINEX VERSION / TYPE line with a type letter of no known kind
    Doris,       // DORIS RINEX: observation type, system "D"
    CompactRinex,
    Ionex,
    Antex,
    Sp3,
    Sinex,
};

struct FileKindGuess {
    FileKind kind = FileKind::Unknown;
    std::string description;  // "RINEX navigation file (type N)"; empty when Unknown
};

// From the first line's bytes (without its line end), which need not be valid UTF-8.
FileKindGuess kind_of_first_line(std::string_view line);

// From a "RINEX VERSION / TYPE" line, wherever it stands: the type letter of column
// 21 (and the system of column 41, for DORIS). A blank type is Unknown.
FileKindGuess kind_of_rinex_version_line(std::string_view line);

// "#a" to "#d" (any lower-case version letter), then the position/velocity flag.
bool is_sp3_first_line(std::string_view line);

}  // namespace skyrift
