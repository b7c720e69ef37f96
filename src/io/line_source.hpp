#pragma once
// The input layer's last step: decoded text handed out as numbered lines
// (string_view slices of the buffer, no copies).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "io/text_buffer.hpp"
#include "io/text_stream.hpp"

namespace skyrift {

struct Line {
    uint64_t index = 0;     // 0-based over the whole file
    std::string_view text;  // without the line end (see LineEnds)
    bool latin1 = false;    // the bytes are Latin-1 text, not UTF-8 (see OtherText)
    std::size_t piece = 0;  // which piece of a streamed text holds it (see release_before)
};

// Which carriage returns before a "\n" (or at the end of the text) belong to the line end.
enum class LineEnds {
    AllCarriageReturns,  // observation files: every "\r" there goes
    OneCarriageReturn,   // SP3: "\n" with one optional "\r"
};

// What becomes of a line that is not valid UTF-8. Station names and comments written
// in Latin-1 are common in archives; a line of text holds no control bytes (tab and
// carriage return apart), so such a line is read as Latin-1 where the reader allows.
enum class OtherText {
    Fails,          // "stream did not contain valid UTF-8"
    Latin1,         // any line of text
    Latin1Labelled, // a line of text with a header label from column 61 (COMMENT and
                    // the other header lines inside event records); others fail
};

class LineSource {
public:
    LineSource(const TextBuffer& buffer, LineEnds line_ends, OtherText other_text = OtherText::Fails);

    // False at end of input or on failure; `failed()` tells them apart. The first
    // line holding invalid UTF-8 that `other_text` refuses fails ("stream did not
    // contain valid UTF-8"); a decoder's trailing error comes after the last complete
    // line before the damage. A DOS end-of-file mark (io/end_of_file_mark.hpp) on a
    // line of its own at the end of the text is no line.
    bool next(Line& line);
    bool failed() const { return error_.has_value(); }
    const GnssError& error() const { return *error_; }
    // The bytes of the line that failed for not being text (empty otherwise), for a
    // reader that names what it was given instead.
    std::string_view refused_line() const { return refused_line_; }

    void set_other_text(OtherText other_text) { other_text_ = other_text; }

    // The reader keeps no view of the lines before `line`: a streamed text may free the
    // pieces that hold only such lines. Without this call every piece stays until the
    // buffer goes, so a reader may keep views of any earlier line.
    // Called once per record: the stream's lock is taken only when a piece can go.
    void release_before(const Line& line) {
        if (!stream_ || line.piece <= released_) return;
        stream_->release_before(line.piece);
        released_ = line.piece;
    }

private:
    bool fill();
    bool accepts_as_latin1(std::string_view line) const;

    // The text being cut (the whole buffer, or the stream's current piece).
    std::string_view text_;
    const std::optional<GnssError>* trailing_error_;  // of the buffer; for a stream, known at its end
    TextStream* stream_;
    LineEnds line_ends_;
    OtherText other_text_;
    std::size_t position_ = 0;
    std::size_t piece_ = 0;  // number of the stream's piece being cut
    std::size_t released_ = 0;  // the stream's pieces below this one are freed
    std::size_t invalid_utf8_at_;
    uint64_t index_ = 0;
    std::optional<GnssError> error_;
    std::string_view refused_line_;
};

}  // namespace skyrift
