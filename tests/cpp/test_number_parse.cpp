// Table tests of the number parser at every integer width; Python only reaches
// some widths through the readers, so the widths are checked here directly.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "check.hpp"
#include "utils/number_parse.hpp"

using skyrift::NumberError;

template <typename T>
static void check_int(std::string_view text, NumberError expected, T expected_value = 0) {
    T value = 0;
    const NumberError got = skyrift::parse_integer(text, value);
    if (got != expected || (expected == NumberError::None && value != expected_value)) {
        cpptest::fail("integer '%.*s': got %s", int(text.size()), text.data(), skyrift::number_error_text(got).c_str());
    }
}

static void check_float(std::string_view text, NumberError expected, double expected_value = 0.0) {
    double value = 0.0;
    const NumberError got = skyrift::parse_float(text, value);
    const bool same = std::isnan(expected_value) ? std::isnan(value) : value == expected_value;
    if (got != expected || (expected == NumberError::None && !same)) {
        cpptest::fail("float '%.*s': got %s %g", int(text.size()), text.data(), skyrift::number_error_text(got).c_str(), value);
    }
}

int main() {
    using E = NumberError;
    // Empty, signs, blanks.
    check_int<int32_t>("", E::EmptyInteger);
    check_int<int32_t>("+", E::InvalidDigit);
    check_int<int32_t>("-", E::InvalidDigit);
    check_int<int32_t>("+-1", E::InvalidDigit);
    check_int<int32_t>("--1", E::InvalidDigit);
    check_int<int32_t>(" 1", E::InvalidDigit);
    check_int<int32_t>("1 ", E::InvalidDigit);
    check_int<int32_t>("1.0", E::InvalidDigit);
    check_int<int32_t>("+7", E::None, 7);
    check_int<int32_t>("-7", E::None, -7);
    check_int<int32_t>("007", E::None, 7);
    check_int<uint32_t>("-0", E::InvalidDigit);
    check_int<uint32_t>("-1", E::InvalidDigit);
    check_int<uint32_t>("+0", E::None, 0);
    // Overflow at each width.
    check_int<uint8_t>("255", E::None, 255);
    check_int<uint8_t>("256", E::TooLarge);
    check_int<int8_t>("127", E::None, 127);
    check_int<int8_t>("128", E::TooLarge);
    check_int<int8_t>("-128", E::None, -128);
    check_int<int8_t>("-129", E::TooSmall);
    check_int<uint16_t>("65536", E::TooLarge);
    check_int<int32_t>("2147483648", E::TooLarge);
    check_int<int32_t>("-2147483648", E::None, INT32_MIN);
    check_int<int32_t>("-2147483649", E::TooSmall);
    check_int<uint32_t>("4294967295", E::None, UINT32_MAX);
    check_int<uint32_t>("4294967296", E::TooLarge);
    check_int<uint64_t>("18446744073709551615", E::None, UINT64_MAX);
    check_int<uint64_t>("18446744073709551616", E::TooLarge);
    check_int<int64_t>("-9223372036854775809", E::TooSmall);
    check_int<uint32_t>("99999999999x", E::TooLarge);
    check_int<uint32_t>("12x", E::InvalidDigit);
    // Floats.
    check_float("", E::EmptyFloat);
    check_float("+", E::InvalidFloat);
    check_float(".", E::InvalidFloat);
    check_float("e5", E::InvalidFloat);
    check_float("1e", E::InvalidFloat);
    check_float("1e+", E::InvalidFloat);
    check_float(" 1", E::InvalidFloat);
    check_float("1 ", E::InvalidFloat);
    check_float("0x1p3", E::InvalidFloat);
    check_float("nan(1)", E::InvalidFloat);
    check_float("infinit", E::InvalidFloat);
    check_float("+-1", E::InvalidFloat);
    check_float("1.5", E::None, 1.5);
    check_float("-.5", E::None, -0.5);
    check_float("+5.", E::None, 5.0);
    check_float("1E3", E::None, 1000.0);
    check_float("1e-3", E::None, 0.001);
    check_float("-2.5e+2", E::None, -250.0);
    check_float("1e400", E::None, INFINITY);
    check_float("-1e400", E::None, -INFINITY);
    check_float("1e-400", E::None, 0.0);
    check_float("inf", E::None, INFINITY);
    check_float("-INFINITY", E::None, -INFINITY);
    check_float("InFiNiTy", E::None, INFINITY);
    check_float("NaN", E::None, NAN);
    check_float("-nan", E::None, NAN);
    check_float("0.1", E::None, 0.1);
    check_float("123456789012345678901234567890", E::None, 1.2345678901234568e29);
    return cpptest::finish("number parsing");
}
