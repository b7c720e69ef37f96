#include "io/line_source.hpp"

#include <cstring>

#include "utils/text.hpp"

namespace skyrift {

LineSource::LineSource(const TextBuffer& buffer, LineEnds line_ends)
    : text_(buffer.text),
      trailing_error_(&buffer.trailing_error),
      stream_(buffer.stream.get()),
      line_ends_(line_ends),
      invalid_utf8_at_(invalid_utf8_offset(buffer.text)) {}

bool LineSource::next(Line& line) {
    if (error_) return false;
    while (position_ >= text_.size()) {
        std::string_view piece;
        if (!stream_ || !stream_->next(piece)) {
            if (stream_) trailing_error_ = &stream_->final_error();
            if (*trailing_error_) error_ = **trailing_error_;
            return false;
        }
        // Pieces end at line ends, so each is cut and checked on its own.
        text_ = piece;
        position_ = 0;
        invalid_utf8_at_ = invalid_utf8_offset(piece);
    }
    const char* begin = text_.data() + position_;
    const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', text_.size() - position_));
    const std::size_t end = newline ? static_cast<std::size_t>(newline - text_.data()) : text_.size();
    // Only the last piece can end without a line end; then the stream's failure is known.
    if (!newline && stream_) trailing_error_ = &stream_->final_error();
    // The first line holding an invalid byte, or a last line cut short by a decoder failure, fails.
    if (invalid_utf8_at_ < end || (!newline && *trailing_error_)) {
        error_ = invalid_utf8_at_ < end ? GnssError::io("stream did not contain valid UTF-8") : **trailing_error_;
        return false;
    }
    std::string_view text(begin, end - position_);
    if (line_ends_ == LineEnds::AllCarriageReturns) {
        while (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    } else if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
    }
    line.index = index_++;
    line.text = text;
    position_ = end + 1;
    return true;
}

}  // namespace skyrift
