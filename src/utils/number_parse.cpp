#include "utils/number_parse.hpp"

#include <cmath>
#include <cstdlib>

namespace skyrift {

std::string number_error_text(NumberError error) {
    switch (error) {
        case NumberError::None: return {};
        case NumberError::EmptyInteger: return "Integer parse error: cannot parse integer from empty string";
        case NumberError::InvalidDigit: return "Integer parse error: invalid digit found in string";
        case NumberError::TooLarge: return "Integer parse error: number too large to fit in target type";
        case NumberError::TooSmall: return "Integer parse error: number too small to fit in target type";
        case NumberError::EmptyFloat: return "Float parse error: cannot parse float from empty string";
        case NumberError::InvalidFloat: return "Float parse error: invalid float literal";
    }
    return {};
}

namespace {

bool equals_ignoring_case(std::string_view text, std::string_view lower_word) {
    if (text.size() != lower_word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower_word[i]) return false;
    }
    return true;
}

// Decimal syntax check: digits, optional '.', digits (at least one digit overall),
// optional exponent with sign and at least one digit. from_chars alone would also
// take "nan(...)" and hex-like forms that this library refuses.
bool is_decimal_literal(std::string_view s) {
    std::size_t i = 0, mantissa_digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++mantissa_digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++mantissa_digits;
    }
    if (mantissa_digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exponent_digits = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++exponent_digits;
        if (exponent_digits == 0) return false;
    }
    return i == s.size();
}

// Fixed-point text such as "  23456789.123" (the bulk of RINEX and SP3 fields):
// with at most 15 digits the digits form an exact integer m < 2^53, and m / 10^k
// is one correctly rounded division, so the result equals from_chars' exactly.
bool parse_short_decimal(std::string_view s, double& out) {
    static constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    uint64_t mantissa = 0;
    std::size_t digits = 0, fraction_digits = 0, i = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
            ++digits;
            fraction_digits += point ? 1 : 0;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (digits == 0 || digits > 15) return false;
    out = static_cast<double>(mantissa) / kPow10[fraction_digits];
    return true;
}

}  // namespace

NumberError parse_float(std::string_view text, double& out) {
    if (text.empty()) return NumberError::EmptyFloat;
    bool negative = false;
    std::string_view body = text;
    if (body[0] == '+' || body[0] == '-') {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    if (equals_ignoring_case(body, "inf") || equals_ignoring_case(body, "infinity")) {
        out = negative ? -INFINITY : INFINITY;
        return NumberError::None;
    }
    if (equals_ignoring_case(body, "nan")) {
        out = negative ? -NAN : NAN;
        return NumberError::None;
    }
    double value = 0.0;
    if (parse_short_decimal(body, value)) {
        out = negative ? -value : value;
        return NumberError::None;
    }
    if (!is_decimal_literal(body)) return NumberError::InvalidFloat;
    const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Overflow gives inf and underflow 0, as correctly rounded parsing does.
        std::string copy(body);
        value = std::strtod(copy.c_str(), nullptr);
    } else if (ec != std::errc() || end != body.data() + body.size()) {
        return NumberError::InvalidFloat;
    }
    out = negative ? -value : value;
    return NumberError::None;
}

}  // namespace skyrift
