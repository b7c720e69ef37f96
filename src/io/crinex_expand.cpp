#include <algorithm>
#include <cstring>

#include "io/crinex.hpp"
#include "io/crinex_decoder.hpp"
#include "io/decoder_stages.hpp"
#include "io/end_of_file_mark.hpp"
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

// Expands into `out`; `hand_over(out)` is offered the text at epoch boundaries (the
// stream takes it, the whole-text caller keeps it) and stops the work when false.
template <typename HandOver>
std::optional<GnssError> expand(std::string_view text, std::string& out, HandOver&& hand_over) {
    CrinexDecoder decoder;
    std::size_t complete = 0;  // output up to the last whole epoch
    uint64_t index = 0;
    std::size_t position = 0;
    while (position < text.size() && !is_end_of_file_mark(text.substr(position))) {
        const char* begin = text.data() + position;
        const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', text.size() - position));
        if (!newline) {
            // Nothing a compressor writes ends without a line end: the file was cut.
            out.resize(complete);
            return GnssError::rinex_parse(index, "Compact RINEX: last line cut short");
        }
        std::string_view line(begin, static_cast<std::size_t>(newline - begin));
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (auto error = decoder.line(line, index, out)) {
            out.resize(complete);
            return error;
        }
        if (decoder.between_epochs()) {
            if (!hand_over(out)) return std::nullopt;
            complete = out.size();
        }
        position = static_cast<std::size_t>(newline - text.data()) + 1;
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
    result.text.reserve(crinex_text_size(text));
    advise_huge_pages(result.text.data(), result.text.capacity());
    result.trailing_error = expand(text, result.text, [](std::string&) { return true; });
    return result;
}

void expand_crinex_to(std::string_view text, TextStream& stream) {
    std::string out;
    out.reserve(kStreamPiece + kStreamPiece / 2);
    auto error = expand(text, out, [&](std::string& piece) {
        if (piece.size() < kStreamPiece) return true;
        const bool reader_waits = stream.push(std::move(piece));
        piece = std::string();
        piece.reserve(kStreamPiece + kStreamPiece / 2);
        return reader_waits;
    });
    if (!out.empty()) stream.push(std::move(out));
    stream.close(std::move(error));
}

std::string crinex_text_start(std::string_view text) {
    // The expanded text starts with the RINEX header, which follows the two compact lines.
    std::size_t at = 0;
    for (int line = 0; line < 2 && at < text.size(); ++line) at = std::min(text.find('\n', at), text.size()) + 1;
    return std::string(text.substr(std::min(at, text.size()), kTextStart));
}

std::size_t crinex_text_size(std::string_view text) { return text.size() * 7 / 2 + 4096; }

}  // namespace skyrift
