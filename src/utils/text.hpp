#pragma once
// Small string_view helpers shared by the readers: trimming and fixed-column slicing.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace skyrift {

inline bool is_ascii_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// A control byte other than tab and carriage return, or DEL: no line of text holds one.
inline bool is_control_byte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b < 0x20 && b != '\t' && b != '\r') || b == 0x7f;
}

inline std::string_view trim_ascii(std::string_view s) {
    while (!s.empty() && is_ascii_space(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_ascii_space(s.back())) s.remove_suffix(1);
    return s;
}

// Trims Unicode white space (UTF-8 encoded) at both ends, for text that comes from callers.
std::string_view trim_unicode(std::string_view s);

// Bytes [begin, end) of a line, cut at the line end: a field past the end is short or empty.
inline std::string_view column(std::string_view line, std::size_t begin, std::size_t end) {
    if (begin >= line.size()) return {};
    return line.substr(begin, end - begin);
}

// Splits at runs of (Unicode) white space, dropping empty pieces.
std::vector<std::string_view> split_whitespace(std::string_view s);

// Splits at every occurrence of `sep` (empty pieces kept).
std::vector<std::string_view> split_on(std::string_view s, char sep);

inline char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string ascii_uppercase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = ascii_upper(c);
    return out;
}

// Offset of the first byte that does not start a valid UTF-8 sequence, or npos.
std::size_t invalid_utf8_offset(std::string_view s);

// True when a fixed-column cut at byte `pos` falls inside a multi-byte character.
inline bool splits_utf8_char(std::string_view s, std::size_t pos) {
    return pos < s.size() && pos > 0 && (static_cast<unsigned char>(s[pos]) & 0xC0) == 0x80;
}

// A text field by byte columns, cut at the line end; empty when either cut would fall
// inside a multi-byte character (such a field is not valid text).
inline std::string_view text_column(std::string_view line, std::size_t begin, std::size_t end) {
    const std::string_view field = column(line, begin, end);
    if (field.empty() || splits_utf8_char(line, begin) || splits_utf8_char(line, begin + field.size())) return {};
    return field;
}

}  // namespace skyrift
