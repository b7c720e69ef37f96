#include "utils/text.hpp"

#include <cstdint>
#include <cstring>

namespace skyrift {

namespace {

// Decodes the code point starting at s[i]; returns its length (0 if invalid).
std::size_t decode_utf8(std::string_view s, std::size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t len = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > s.size()) return 0;
    cp = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t min_for_len[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < min_for_len[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

bool is_unicode_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

}  // namespace

std::string_view trim_unicode(std::string_view s) {
    // Leading side: decode forward.
    std::size_t begin = 0;
    while (begin < s.size()) {
        char32_t cp = 0;
        const std::size_t len = decode_utf8(s, begin, cp);
        if (len == 0 || !is_unicode_space(cp)) break;
        begin += len;
    }
    // Trailing side: step back over continuation bytes to each character's start.
    std::size_t end = s.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
        char32_t cp = 0;
        const std::size_t len = decode_utf8(s, start, cp);
        if (len != end - start || !is_unicode_space(cp)) break;
        end = start;
    }
    return s.substr(begin, end - begin);
}

std::vector<std::string_view> split_whitespace(std::string_view s) {
    // Length of the white-space character at s[i] (Unicode white space, as in trimming), or 0.
    const auto space_at = [&](std::size_t i) -> std::size_t {
        if (static_cast<unsigned char>(s[i]) < 0x80) return is_ascii_space(s[i]) ? 1 : 0;
        char32_t cp = 0;
        const std::size_t len = decode_utf8(s, i, cp);
        return len != 0 && is_unicode_space(cp) ? len : 0;
    };
    std::vector<std::string_view> parts;
    std::size_t i = 0;
    while (i < s.size()) {
        for (std::size_t n; i < s.size() && (n = space_at(i)) != 0;) i += n;
        const std::size_t start = i;
        while (i < s.size() && space_at(i) == 0) ++i;
        if (i > start) parts.push_back(s.substr(start, i - start));
    }
    return parts;
}

std::vector<std::string_view> split_on(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == sep) {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

std::size_t invalid_utf8_offset(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        // Whole files pass through here: skip ASCII eight bytes at a time.
        while (i + 8 <= s.size()) {
            uint64_t word;
            std::memcpy(&word, s.data() + i, 8);
            if (word & 0x8080808080808080ULL) break;
            i += 8;
        }
        if (i >= s.size()) break;
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t len = decode_utf8(s, i, cp);
        if (len == 0) return i;
        i += len;
    }
    return std::string_view::npos;
}

}  // namespace skyrift
