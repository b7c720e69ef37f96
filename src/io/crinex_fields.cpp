#include "io/crinex_fields.hpp"

#include <algorithm>
#include <charconv>

namespace skyrift {

namespace {

bool parse_integer(std::string_view text, int64_t& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size();
}

}  // namespace

FieldError DifferenceArc::apply(std::string_view field, bool& started) {
    const std::size_t mark = field.find('&');
    started = mark != std::string_view::npos;
    if (started) {
        if (mark != 1 || field[0] < '0' || field[0] > '9') return FieldError::OrderOutOfRange;
        int64_t value = 0;
        if (!parse_integer(field.substr(2), value)) return FieldError::BadNumber;
        terms_[0] = value;
        order_ = static_cast<uint8_t>(field[0] - '0');
        filled_ = 0;
        active_ = true;
        return FieldError::None;
    }
    int64_t difference = 0;
    if (!parse_integer(field, difference)) return FieldError::BadNumber;
    if (!active_) return FieldError::NotStarted;
    const int level = filled_ < order_ ? filled_ + 1 : order_;
    // Summed into a copy so that an overflow leaves the arc as it was.
    int64_t terms[kMaxDifferenceOrder + 1];
    terms[level] = difference;
    for (int i = level - 1; i >= 0; --i)
        if (__builtin_add_overflow(terms_[i], terms[i + 1], &terms[i])) return FieldError::Overflow;
    for (int i = 0; i <= level; ++i) terms_[i] = terms[i];
    filled_ = static_cast<uint8_t>(level);
    return FieldError::None;
}

void apply_text_difference(std::string& reference, std::string_view difference) {
    if (difference.size() > reference.size()) reference.resize(difference.size(), ' ');
    for (std::size_t i = 0; i < difference.size(); ++i) {
        const char c = difference[i];
        if (c == ' ') continue;
        reference[i] = c == '&' ? ' ' : c;
    }
}

bool write_fixed(char* field, std::size_t width, int64_t value, int decimals) {
    char digits[32];
    char* const end = digits + sizeof digits;
    char* p = end;
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    for (int i = 0; i < decimals; ++i) {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    }
    *--p = '.';
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = '-';
    const auto length = static_cast<std::size_t>(end - p);
    if (length > width) return false;
    std::fill(field, field + width - length, ' ');
    std::copy(p, end, field + width - length);
    return true;
}

}  // namespace skyrift
