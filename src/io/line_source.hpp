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
};

// Which carriage returns before a "\n" (or at the end of the text) belong to the line end.
enum class LineEnds {
    AllCarriageReturns,  // observation files: every "\r" there goes
    OneCarriageReturn,   // SP3: "\n" with one optional "\r"
};

class LineSource {
public:
    LineSource(const TextBuffer& buffer, LineEnds line_ends);

    // False at end of input or on failure; `failed()` tells them apart. The first
    // line holding invalid UTF-8 fails ("stream did not contain valid UTF-8"); a
    // decoder's trailing error comes after the last complete line before the damage.
    bool next(Line& line);
    bool failed() const { return error_.has_value(); }
    const GnssError& error() const { return *error_; }

private:
    // The text being cut (the whole buffer, or the stream's current piece).
    std::string_view text_;
    const std::optional<GnssError>* trailing_error_;  // of the buffer; for a stream, known at its end
    TextStream* stream_;
    LineEnds line_ends_;
    std::size_t position_ = 0;
    std::size_t invalid_utf8_at_;
    uint64_t index_ = 0;
    std::optional<GnssError> error_;
};

}  // namespace skyrift
