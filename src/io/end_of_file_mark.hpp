#pragma once
// DOS tools ended text files with a Ctrl-Z byte (0x1A) after the last line; archives
// still hold such files. The mark is no text: a reader stops there.
#include <string_view>

namespace skyrift {

inline constexpr char kEndOfFileMark = '\x1a';

// True when `rest`, the input from the start of a line to its end, is the mark
// alone, with nothing after it but line ends.
inline bool is_end_of_file_mark(std::string_view rest) {
    if (rest.empty() || rest[0] != kEndOfFileMark) return false;
    return rest.find_first_not_of("\r\n", 1) == std::string_view::npos;
}

}  // namespace skyrift
