#include <algorithm>
#include <cstring>

#include "io/crinex.hpp"
#include "io/crinex_decoder.hpp"
#include "io/decoder_stages.hpp"
#include "io/end_of_file_mark.hpp"
#include "io/piece_source.hpp"
#include "io/text_stream.hpp"
#include "utils/memory.hpp"

namespace skyrift {

namespace {

constexpr std::string_view kVersionLabel = "CRINEX VERS   / TYPE";

}  // namespace

bool has_crinex_header(std::string_view text) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view first = text.substr(0, end);
    while (!first.empty() && (first.back() == '\r' || first.back() == ' ')) first.remove_suffix(1);
    return first.size() > 60 && first.substr(60) == kVersionLabel;
}

bool recognises_crinex(std::string_view /*file_name*/, std::string_view data) { return has_crinex_header(data); }

namespace {

// The lines of a piece source, whatever the pieces' bounds (a line cut by one is joined).
class PieceLines {
public:
    explicit PieceLines(PieceSource& input) : window_(input) {}

    // The next line without its "\n"; `ended` false for a last line without one. False
    // at the end of the input.
    bool next(std::string_view& line, bool& ended) {
        for (;;) {
            const std::string_view bytes = window_.bytes();
            const std::size_t newline = bytes.find('\n', scanned_);
            if (newline != std::string_view::npos) {
                line = bytes.substr(0, newline);
                ended = true;
                window_.consume(newline + 1);
                scanned_ = 0;
                return true;
            }
            scanned_ = bytes.size();
            if (window_.extend()) continue;
            if (bytes.empty()) return false;
            line = bytes;
            ended = false;
            window_.consume(bytes.size());
            scanned_ = 0;
            return true;
        }
    }

    // Whether the input from here on is a DOS end-of-file mark alone (io/end_of_file_mark.hpp).
    bool at_end_of_file_mark() {
        if (!window_.ensure(1) || window_.bytes()[0] != kEndOfFileMark) return false;
        std::size_t checked = 1;
        for (;;) {
            const std::string_view bytes = window_.bytes();
            if (bytes.find_first_not_of("\r\n", checked) != std::string_view::npos) return false;
            checked = bytes.size();
            if (!window_.extend()) return true;
        }
    }

private:
    ByteWindow window_;
    std::size_t scanned_ = 0;  // bytes of the window already known to hold no line end
};

// Expands into `out`; `hand_over(out)` is offered the text at epoch boundaries (the
// stream takes it, the whole-text caller keeps it) and stops the work when false.
template <typename HandOver>
std::optional<GnssError> expand(PieceSource& input, std::string& out, HandOver&& hand_over) {
    CrinexDecoder decoder;
    PieceLines lines(input);
    std::size_t complete = 0;  // output up to the last whole epoch
    uint64_t index = 0;
    std::string_view line;
    bool ended = true;
    while (!lines.at_end_of_file_mark() && lines.next(line, ended)) {
        if (!ended) {
            // Nothing a compressor writes ends without a line end: the file was cut.
            out.resize(complete);
            return GnssError::rinex_parse(index, "Compact RINEX: last line cut short");
        }
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (auto error = decoder.line(line, index, out)) {
            out.resize(complete);
            return error;
        }
        if (decoder.between_epochs()) {
            if (!hand_over(out)) return std::nullopt;
            complete = out.size();
        }
        ++index;
    }
    if (auto error = decoder.finish(index)) {
        out.resize(complete);
        return error;
    }
    return std::nullopt;
}

}  // namespace

TextBuffer expand_crinex(std::string_view text) {
    TextBuffer result;
    // Expanded observation text is about three times its compact form.
    result.text.reserve(crinex_text_size(text.size(), {}));
    advise_huge_pages(result.text.data(), result.text.capacity());
    WholeInput input(text);
    result.trailing_error = expand(input, result.text, [](std::string&) { return true; });
    return result;
}

void expand_crinex_stream(PieceSource& text, TextStream& stream) {
    std::string out;
    out.reserve(kStreamPiece + kStreamPiece / 2);
    bool reader_gone = false;
    auto error = expand(text, out, [&](std::string& piece) {
        if (piece.size() < kStreamPiece) return true;
        reader_gone = !stream.push(std::move(piece));
        piece = std::string();
        piece.reserve(kStreamPiece + kStreamPiece / 2);
        return !reader_gone;
    });
    if (reader_gone) return;
    if (!out.empty() && !stream.push(std::move(out))) return;
    // A failure of the stage before cut this input short: that one is reported, so the
    // input is read to its end to learn it, as when the stage before runs whole first;
    // unless no one is left to tell.
    std::string_view rest;
    while (text.next(rest))
        if (stream.abandoned()) return;
    if (auto earlier = text.failure()) error = std::move(earlier);
    stream.close(std::move(error));
}

std::string crinex_text_start(std::string_view text) {
    // The expanded text starts with the RINEX header, which follows the two compact lines.
    std::size_t at = 0;
    for (int line = 0; line < 2 && at < text.size(); ++line) at = std::min(text.find('\n', at), text.size()) + 1;
    return std::string(text.substr(std::min(at, text.size()), kTextStart));
}

std::size_t crinex_text_size(std::size_t text_size, std::string_view /*text_tail*/) { return text_size * 7 / 2 + 4096; }

}  // namespace skyrift
