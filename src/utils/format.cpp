#include "utils/format.hpp"

#include <charconv>
#include <cmath>

namespace skyrift {

namespace {
const char* non_finite_text(double x) {
    if (std::isnan(x)) return "NaN";
    return x > 0 ? "inf" : "-inf";
}
}  // namespace

std::string fmt_float(double x) {
    if (!std::isfinite(x)) return non_finite_text(x);
    char buf[400];  // the longest fixed form of a double is ~330 characters
    const auto result = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
    return std::string(buf, result.ptr);
}

std::string fmt_fixed(double x, int decimals) {
    if (!std::isfinite(x)) return non_finite_text(x);
    char buf[400 + 64];
    const auto result = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return fmt_float(x);
    return std::string(buf, result.ptr);
}

}  // namespace skyrift
