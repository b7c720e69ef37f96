#pragma once
// Fixed-column fields of observation records, shared by both record readers:
// trimmed slices parsed with a fallback, and the 16-byte observation field.
#include <cstdint>
#include <string_view>

#include "rinex/obs_data.hpp"
#include "utils/number_parse.hpp"
#include "utils/text.hpp"

namespace skyrift {

// ASCII trimming, with the Unicode rule only when a non-ASCII byte is at an end.
inline std::string_view trim_field(std::string_view s) {
    s = trim_ascii(s);
    if (!s.empty() && (static_cast<unsigned char>(s.front()) >= 0x80 || static_cast<unsigned char>(s.back()) >= 0x80))
        s = trim_unicode(s);
    return s;
}

template <typename T>
T integer_field(std::string_view line, std::size_t begin, std::size_t end, T fallback) {
    T value{};
    return parse_integer(trim_field(column(line, begin, end)), value) == NumberError::None ? value : fallback;
}

inline double float_field(std::string_view line, std::size_t begin, std::size_t end, double fallback) {
    double value = 0.0;
    return parse_float(trim_field(column(line, begin, end)), value) == NumberError::None ? value : fallback;
}

// One 16-byte observation field (value F14.3, LLI digit, SSI digit), possibly cut
// short by the line end. False when there is no observation: the value does not parse
// or is exactly zero (RINEX writes 0.0 for a missing value, and converters fill every
// signal a satellite does not transmit with .000); its indicator digits go with it.
inline bool parse_observation_field(std::string_view field, ObservationEntry& out) {
    double value = 0.0;
    if (parse_float(trim_field(field.substr(0, 14)), value) != NumberError::None || value == 0.0) return false;
    out.set_value(value);
    auto digit = [&](std::size_t i) {
        return i < field.size() && field[i] >= '0' && field[i] <= '9' ? static_cast<uint8_t>(field[i] - '0')
                                                                     : kNoIndicator;
    };
    out.set_indicators(digit(14), digit(15));
    return true;
}

}  // namespace skyrift
