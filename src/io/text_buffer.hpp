#pragma once
// What the input layer hands to every reader: a file's decoded text, whole in memory
// or arriving in pieces from a decoder that runs beside the reader.
#include <memory>
#include <optional>
#include <string>

#include "utils/error.hpp"

namespace skyrift {

// Decoded file contents; a decoder failure is kept and reported once the lines
// before it have been consumed, as a streaming reader would report it.
struct TextBuffer {
    std::string text;
    std::optional<GnssError> trailing_error;
    // When set, the text comes from here instead (io/text_stream.hpp): `text` is empty
    // and the failure, if any, is the stream's.
    std::shared_ptr<class TextStream> stream = nullptr;
};

}  // namespace skyrift
