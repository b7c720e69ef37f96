#include "io/input.hpp"

#include <sys/stat.h>

#include <array>

#include "io/decoder_stages.hpp"
#include "io/file_read.hpp"

namespace skyrift {

namespace {

// In decoding order: byte containers first, then text formats (see decoder_stages.hpp).
constexpr std::array kDecoderStages{
    DecoderStage{"gzip", recognises_gzip, inflate_gzip},
};

}  // namespace

TextBuffer decode_input(std::string bytes, std::string_view file_name) {
    TextBuffer buffer{std::move(bytes), std::nullopt};
    for (const DecoderStage& stage : kDecoderStages) {
        if (!stage.recognises(file_name, buffer.text)) continue;
        TextBuffer decoded = stage.decode(buffer.text);
        // The earlier failure cut this stage's input short: it is the one to report.
        if (buffer.trailing_error) decoded.trailing_error = std::move(buffer.trailing_error);
        buffer = std::move(decoded);
    }
    return buffer;
}

Result<TextBuffer> read_text_file(const std::string& path, PathErrors path_errors) {
    if (path_errors == PathErrors::FileNotFound) {
        struct stat st {};
        if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &st) != 0)
            return GnssError::file_not_found(path);
    }
    auto bytes = read_whole_file(path);
    if (!bytes) return bytes.error();
    return decode_input(std::move(*bytes), path);
}

}  // namespace skyrift
