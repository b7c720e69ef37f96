#include "io/line_source.hpp"

#include <algorithm>
#include <cstring>

#include "io/end_of_file_mark.hpp"
#include "utils/text.hpp"

namespace skyrift {

namespace {

constexpr std::size_t kLabelColumn = 60;

// A header label: printable ASCII with a capital letter ("COMMENT", "# / TYPES OF OBSERV").
bool has_label(std::string_view line) {
    if (line.size() <= kLabelColumn) return false;
    const std::string_view label = line.substr(kLabelColumn);
    const bool printable = std::all_of(label.begin(), label.end(), [](char c) { return c >= ' ' && c <= '~'; });
    return printable && std::any_of(label.begin(), label.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

}  // namespace

LineSource::LineSource(const TextBuffer& buffer, LineEnds line_ends, OtherText other_text)
    : text_(buffer.text),
      trailing_error_(&buffer.trailing_error),
      stream_(buffer.stream.get()),
      line_ends_(line_ends),
      other_text_(other_text),
      invalid_utf8_at_(invalid_utf8_offset(buffer.text)) {}

// Makes the text hold a line to cut; false at end of input (with the failure, if any).
bool LineSource::fill() {
    while (position_ >= text_.size()) {
        std::string_view piece;
        if (!stream_ || !stream_->next(piece, piece_)) {
            if (stream_) trailing_error_ = &stream_->final_error();
            if (*trailing_error_) error_ = **trailing_error_;
            return false;
        }
        // Pieces end at line ends, so each is cut and checked on its own.
        text_ = piece;
        position_ = 0;
        invalid_utf8_at_ = invalid_utf8_offset(piece);
    }
    return true;
}

bool LineSource::accepts_as_latin1(std::string_view line) const {
    if (other_text_ == OtherText::Fails || std::any_of(line.begin(), line.end(), is_control_byte)) return false;
    return other_text_ == OtherText::Latin1 || has_label(line);
}

bool LineSource::next(Line& line) {
    if (error_ || !fill()) return false;
    const char* begin = text_.data() + position_;
    const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', text_.size() - position_));
    const std::size_t end = newline ? static_cast<std::size_t>(newline - text_.data()) : text_.size();
    std::string_view text(begin, end - position_);
    if (line_ends_ == LineEnds::AllCarriageReturns) {
        while (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    } else if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
    }
    // The first line holding an invalid byte fails, unless it is text read as Latin-1.
    line.latin1 = invalid_utf8_at_ < end;
    if (line.latin1 && !accepts_as_latin1(text)) {
        error_ = GnssError::io("stream did not contain valid UTF-8");
        refused_line_ = std::string_view(begin, end - position_);
        return false;
    }
    // Only the last piece can end without a line end; then the stream's failure is known.
    // A last line cut short by a decoder failure fails.
    if (!newline && stream_) trailing_error_ = &stream_->final_error();
    if (!newline && *trailing_error_) {
        error_ = **trailing_error_;
        return false;
    }
    if (line.latin1) {
        const std::size_t after = std::min(end + 1, text_.size());
        const std::size_t next_invalid = invalid_utf8_offset(text_.substr(after));
        invalid_utf8_at_ = next_invalid == std::string_view::npos ? next_invalid : after + next_invalid;
    }
    line.index = index_++;
    line.text = text;
    line.piece = piece_;
    position_ = end + 1;
    // The mark ends the input only where no text follows it (a later piece may hold more).
    if (text.size() == 1 && text[0] == kEndOfFileMark && !fill()) return false;
    return true;
}

}  // namespace skyrift
