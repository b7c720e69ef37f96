#pragma once
// What the input layer hands to every reader: a file's decoded text, whole, in memory.
#include <optional>
#include <string>

#include "utils/error.hpp"

namespace skyrift {

// Decoded file contents; a decoder failure is kept and reported once the lines
// before it have been consumed, as a streaming reader would report it.
struct TextBuffer {
    std::string text;
    std::optional<GnssError> trailing_error;
};

}  // namespace skyrift
