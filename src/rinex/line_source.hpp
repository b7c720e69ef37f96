#pragma once
// Input text of an observation file: the whole decoded file in memory, handed out
// as numbered lines (string_view slices, no copies).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "utils/error.hpp"
#include "utils/result.hpp"

namespace skyrift {

// Decoded file contents; a decoder failure is kept and reported once the lines
// before it have been consumed, as a streaming reader would report it.
struct TextBuffer {
    std::string text;
    std::optional<GnssError> trailing_error;
};

// True when the last path component's extension is exactly "gz".
bool has_gzip_extension(std::string_view path);

// Decompresses every gzip member; bytes after the last member that do not start a
// new member are ignored.
TextBuffer inflate_gzip(std::string_view compressed);

// Reads a file whole, decompressing it when its name ends in ".gz".
// FileNotFound when the path cannot be queried, Io when it cannot be read.
Result<TextBuffer> read_text_file(const std::string& path);

struct Line {
    uint64_t index = 0;     // 0-based over the whole file
    std::string_view text;  // without "\n" and trailing carriage returns
};

class LineSource {
public:
    explicit LineSource(const TextBuffer& buffer);

    // False at end of input or on failure; `failed()` tells them apart.
    bool next(Line& line);
    bool failed() const { return error_.has_value(); }
    const GnssError& error() const { return *error_; }

private:
    std::string_view text_;
    const std::optional<GnssError>& trailing_error_;
    std::size_t position_ = 0;
    std::size_t invalid_utf8_at_;
    uint64_t index_ = 0;
    std::optional<GnssError> error_;
};

}  // namespace skyrift
