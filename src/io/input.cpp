#include "io/input.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "io/crinex.hpp"
#include "io/decoder_stages.hpp"
#include "io/file_read.hpp"
#include "io/line_pieces.hpp"
#include "io/piece_source.hpp"
#include "io/text_stream.hpp"
#include "io/unix_compress.hpp"

namespace skyrift {

namespace {

// In decoding order: byte containers first, then text formats (see decoder_stages.hpp).
constexpr std::array kDecoderStages{
    DecoderStage{"gzip", recognises_gzip, inflate_gzip, inflate_gzip_stream, gzip_text_start, gzip_text_size},
    DecoderStage{"compress", recognises_compress, uncompress_lzw},
    DecoderStage{"crinex", recognises_crinex, expand_crinex, expand_crinex_stream, crinex_text_start,
                 crinex_text_size},
};

// Pieces of a file read into the stages; small enough to keep little in flight.
constexpr std::size_t kFilePiece = std::size_t{256} << 10;

// Plain text from a source of arbitrary pieces, cut into pieces that end at line ends.
void pass_text(PieceSource& input, TextStream& out) {
    LinePieces pieces(out);
    std::string_view piece;
    while (input.next(piece))
        if (!pieces.write(piece)) return;
    pieces.finish(input.failure());
}

// The stages that apply, in order, judged from the input's first bytes: empty for plain
// text, none when one of them cannot decode piece by piece.
std::optional<std::vector<const DecoderStage*>> streamable_chain(std::string_view file_name, std::string start) {
    std::vector<const DecoderStage*> chain;
    for (const DecoderStage& stage : kDecoderStages) {
        if (!stage.recognises(file_name, start)) continue;
        if (!stage.decode_stream) return std::nullopt;
        chain.push_back(&stage);
        start = stage.text_start(start);
    }
    return chain;
}

// Every stage of the chain on a thread of its own, each reading the one before, the
// first reading `input`; the reader takes the last one's text as it comes.
TextBuffer decode_streaming(const std::vector<const DecoderStage*>& chain, std::shared_ptr<PieceSource> input,
                            std::size_t input_size, std::string_view input_tail) {
    std::shared_ptr<TextStream> stream;
    std::size_t size = input_size;
    std::string tail(input_tail);
    auto run = [&](std::size_t expected, void (*decode)(PieceSource&, TextStream&)) {
        stream = std::make_shared<TextStream>(expected, std::nullopt,
                                              [input, decode](TextStream& out) { decode(*input, out); });
        input = std::make_shared<StreamInput>(stream);
    };
    for (const DecoderStage* stage : chain) {
        size = stage->text_size(size, tail);
        tail.clear();
        run(size, stage->decode_stream);
    }
    if (chain.empty()) run(size, pass_text);  // plain text: cut into line pieces
    TextBuffer out;
    out.stream = std::move(stream);
    return out;
}

TextBuffer decode_whole(std::string bytes, std::string_view file_name) {
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

}  // namespace

TextBuffer decode_input(std::string bytes, std::string_view file_name, std::size_t stream_above) {
    if (bytes.size() < stream_above) return decode_whole(std::move(bytes), file_name);
    const auto chain = streamable_chain(file_name, bytes.substr(0, kTextStart));
    // Plain text in memory needs no thread: it is read where it lies.
    if (!chain || chain->empty()) return decode_whole(std::move(bytes), file_name);
    const std::size_t size = bytes.size();
    const std::string tail = bytes.substr(size - std::min<std::size_t>(size, 8));
    return decode_streaming(*chain, std::make_shared<WholeInput>(std::move(bytes)), size, tail);
}

Result<TextBuffer> read_text_file(const std::string& path, PathErrors path_errors, std::size_t stream_above) {
    if (path_errors == PathErrors::FileNotFound) {
        struct stat st {};
        if (path.find('\0') != std::string::npos) return GnssError::file_not_found(path);
        if (::stat(path.c_str(), &st) != 0) return GnssError::file_not_found(path, errno);
    }
    auto file = FileChunks::open(path, kFilePiece);
    if (!file) return file.error();
    FileChunks& chunks = **file;
    // A file that tells no size (a pipe) is small when its first piece holds it all.
    const bool small = chunks.size() > 0 ? chunks.size() < stream_above : chunks.whole_in_first();
    const auto chain =
        small ? std::nullopt : streamable_chain(path, std::string(chunks.first().substr(0, kTextStart)));
    if (!chain) {  // small, or a stage applies that cannot stream: the file is read whole
        auto bytes = chunks.read_rest();
        if (!bytes) return bytes.error();
        return decode_whole(std::move(*bytes), path);
    }
    const std::size_t size = chunks.size();
    const std::string tail(chunks.tail());
    return decode_streaming(*chain, std::shared_ptr<PieceSource>(std::move(*file)), size, tail);
}

}  // namespace skyrift
