#include "io/input.hpp"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <memory>

#include "io/crinex.hpp"
#include "io/decoder_stages.hpp"
#include "io/file_read.hpp"
#include "io/text_stream.hpp"
#include "io/unix_compress.hpp"

namespace skyrift {

namespace {

// In decoding order: byte containers first, then text formats (see decoder_stages.hpp).
constexpr std::array kDecoderStages{
    DecoderStage{"gzip", recognises_gzip, inflate_gzip, inflate_gzip_to, gzip_text_start, gzip_text_size},
    DecoderStage{"compress", recognises_compress, uncompress_lzw},
    DecoderStage{"crinex", recognises_crinex, expand_crinex, expand_crinex_to, crinex_text_start, crinex_text_size},
};

// Whether a stage after stage `i` would take up the text that stage `i` makes.
bool later_stage_applies(std::size_t i, std::string_view file_name, std::string_view data) {
    const std::string start = kDecoderStages[i].text_start(data);
    for (std::size_t j = i + 1; j < kDecoderStages.size(); ++j)
        if (kDecoderStages[j].recognises(file_name, start)) return true;
    return false;
}

// The stage decodes on a thread of its own; the reader takes the text as it comes.
TextBuffer decode_beside_reader(const DecoderStage& stage, TextBuffer input) {
    auto source = std::make_shared<TextBuffer>(std::move(input));
    TextBuffer out;
    out.stream = std::make_shared<TextStream>(
        stage.text_size(source->text), source->trailing_error,
        [source, decode_to = stage.decode_to](TextStream& stream) { decode_to(source->text, stream); });
    return out;
}

}  // namespace

TextBuffer decode_input(std::string bytes, std::string_view file_name, std::size_t stream_above) {
    TextBuffer buffer{std::move(bytes), std::nullopt};
    for (std::size_t i = 0; i < kDecoderStages.size(); ++i) {
        const DecoderStage& stage = kDecoderStages[i];
        if (!stage.recognises(file_name, buffer.text)) continue;
        if (stage.decode_to && buffer.text.size() >= stream_above && !later_stage_applies(i, file_name, buffer.text))
            return decode_beside_reader(stage, std::move(buffer));
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
        if (path.find('\0') != std::string::npos) return GnssError::file_not_found(path);
        if (::stat(path.c_str(), &st) != 0) return GnssError::file_not_found(path, errno);
    }
    auto bytes = read_whole_file(path);
    if (!bytes) return bytes.error();
    return decode_input(std::move(*bytes), path);
}

}  // namespace skyrift
