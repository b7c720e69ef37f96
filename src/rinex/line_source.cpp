#include "rinex/line_source.hpp"

#include <cstring>

#include <sys/stat.h>

#include "utils/file_read.hpp"
#include "utils/text.hpp"

namespace skyrift {

bool has_gzip_extension(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (name == "..") return false;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;  // ".gz" alone is a hidden name
    return name.substr(dot + 1) == "gz";
}

Result<TextBuffer> read_text_file(const std::string& path) {
    struct stat st {};
    if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &st) != 0) return GnssError::file_not_found(path);
    auto bytes = read_whole_file(path);
    if (!bytes) return bytes.error();
    if (has_gzip_extension(path)) return inflate_gzip(*bytes);
    return TextBuffer{std::move(*bytes), std::nullopt};
}

LineSource::LineSource(const TextBuffer& buffer)
    : text_(buffer.text), trailing_error_(buffer.trailing_error), invalid_utf8_at_(invalid_utf8_offset(buffer.text)) {}

bool LineSource::next(Line& line) {
    if (error_) return false;
    if (position_ >= text_.size()) {
        if (trailing_error_) error_ = *trailing_error_;
        return false;
    }
    const char* begin = text_.data() + position_;
    const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', text_.size() - position_));
    const std::size_t end = newline ? static_cast<std::size_t>(newline - text_.data()) : text_.size();
    // The first line holding an invalid byte, or a last line cut short by a decoder failure, fails.
    if (invalid_utf8_at_ < end || (!newline && trailing_error_)) {
        error_ = invalid_utf8_at_ < end ? GnssError::io("stream did not contain valid UTF-8") : *trailing_error_;
        return false;
    }
    std::string_view text(begin, end - position_);
    while (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    line.index = index_++;
    line.text = text;
    position_ = end + 1;
    return true;
}

}  // namespace skyrift
