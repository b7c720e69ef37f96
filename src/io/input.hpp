#pragma once
// The input layer's one entry for every reader: a file or bytes in, decoded text
// out (then io/line_source.hpp cuts it into numbered lines). Which decoders run is
// decided here and nowhere else; see io/decoder_stages.hpp for the stages.
#include <string>
#include <string_view>

#include "io/text_buffer.hpp"
#include "utils/result.hpp"

namespace skyrift {

// Runs the decoder stages over a file's bytes; `file_name` is the name the bytes
// came under (only name-chosen stages look at it). Bytes no stage recognises are
// the text itself, handed on without a copy.
// The last stage decodes on a thread of its own, beside the reader, when its input
// has at least `stream_above` bytes (io/text_stream.hpp); below about a megabyte a
// thread costs more than it saves.
TextBuffer decode_input(std::string bytes, std::string_view file_name, std::size_t stream_above = std::size_t{1} << 20);

// How a path that cannot be read is reported; the readers' texts differ.
enum class PathErrors {
    FileNotFound,  // the path is queried first: any failure, a NUL byte too, is "File not found: <path>"
    Io,            // the file is opened directly: failures are Io errors with the system's text
};

// Reads a file whole and decodes it with `decode_input`. Io when it cannot be read.
Result<TextBuffer> read_text_file(const std::string& path, PathErrors path_errors);

}  // namespace skyrift
