#pragma once
// The one number parser of the library: std::from_chars underneath, with the
// library's exact acceptance rules and failure texts, and no allocation.
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace skyrift {

enum class NumberError : uint8_t {
    None,
    EmptyInteger,  // "cannot parse integer from empty string"
    InvalidDigit,  // "invalid digit found in string"
    TooLarge,      // "number too large to fit in target type"
    TooSmall,      // "number too small to fit in target type"
    EmptyFloat,    // "cannot parse float from empty string"
    InvalidFloat,  // "invalid float literal"
};

// Full message as the error kind `Other` renders it, e.g.
// "Integer parse error: invalid digit found in string".
std::string number_error_text(NumberError error);

// Integers: one leading "+" (and "-" for signed types); nothing else but digits,
// so surrounding blanks are invalid digits. Callers trim first where blanks are allowed.
template <typename T>
NumberError parse_integer(std::string_view text, T& out) {
    static_assert(std::is_integral_v<T>);
    if (text.empty()) return NumberError::EmptyInteger;
    bool negative = false;
    if (text[0] == '+') {
        text.remove_prefix(1);
    } else if (text[0] == '-') {
        if constexpr (std::is_unsigned_v<T>) return NumberError::InvalidDigit;
        negative = true;
    }
    const std::size_t digits_from = negative ? 1 : 0;
    if (text.size() <= digits_from) return NumberError::InvalidDigit;
    const char first_digit = text[digits_from];
    if (first_digit < '0' || first_digit > '9') return NumberError::InvalidDigit;
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ec == std::errc::result_out_of_range) return negative ? NumberError::TooSmall : NumberError::TooLarge;
    if (ec != std::errc() || end != text.data() + text.size()) return NumberError::InvalidDigit;
    out = value;
    return NumberError::None;
}

// Floats: optional sign, digits with optional fraction and exponent, or the words
// inf, infinity and nan in any letter case. Out-of-range values become inf or 0.
NumberError parse_float(std::string_view text, double& out);

template <typename T>
std::optional<T> integer_or_none(std::string_view text) {
    T value{};
    if (parse_integer(text, value) != NumberError::None) return std::nullopt;
    return value;
}

inline std::optional<double> float_or_none(std::string_view text) {
    double value = 0.0;
    if (parse_float(text, value) != NumberError::None) return std::nullopt;
    return value;
}

}  // namespace skyrift
