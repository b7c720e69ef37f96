#pragma once
// The input layer's one entry for every reader: a file or bytes in, decoded text
// out (then io/line_source.hpp cuts it into numbered lines). Which decoders run is
// decided here and nowhere else; see io/decoder_stages.hpp for the stages.
#include <string>
#include <string_view>

#include "io/text_buffer.hpp"
#include "utils/result.hpp"

namespace skyrift {

// Below this many bytes of input a thread costs more than it saves.
inline constexpr std::size_t kStreamAbove = std::size_t{1} << 20;

// Runs the decoder stages over a file's bytes; `file_name` is the name the bytes
// came under (only name-chosen stages look at it). Bytes no stage recognises are
// the text itself, handed on without a copy.
// When the input has at least `stream_above` bytes and every stage that applies can
// decode piece by piece, all of them run at once, each on a thread of its own, beside
// the reader (io/text_stream.hpp).
TextBuffer decode_input(std::string bytes, std::string_view file_name, std::size_t stream_above = kStreamAbove);

// How a path that cannot be read is reported; the readers' texts differ.
enum class PathErrors {
    FileNotFound,  // the path is queried first: any failure, a NUL byte too, is "File not found: <path>"
    Io,            // the file is opened directly: failures are Io errors with the system's text
};

// Reads a file and decodes it as `decode_input` does. A file of at least `stream_above`
// bytes is read a piece at a time by the first stage (or, plain text, by a thread that
// cuts it into pieces), so neither the file nor its text is ever held whole. Io when it
// cannot be opened; a read that fails midway ends the text with that failure.
Result<TextBuffer> read_text_file(const std::string& path, PathErrors path_errors,
                                  std::size_t stream_above = kStreamAbove);

}  // namespace skyrift
