// The fixed-point fast path of parse_float must give the very doubles of the
// general path (correctly rounded parsing), for every shape it accepts.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "check.hpp"
#include "utils/number_parse.hpp"

int main() {
    std::mt19937_64 rng(42);
    auto check = [&](const std::string& text) {
        double got = 0.0;
        const auto err = skyrift::parse_float(text, got);
        const double want = std::strtod(text.c_str(), nullptr);
        if (err != skyrift::NumberError::None || std::memcmp(&got, &want, sizeof got) != 0) {
            cpptest::fail("'%s' gave %.17g, expected %.17g", text.c_str(), got, want);
        }
    };
    for (const char* t : {"0", "-0", "-0.000", ".5", "5.", "+.5", "-.000", "999999999999999", "99999999999999.9",
                          "0.000000000000001", "9007199254740993", "1234567890123456.7", "0.1", "0.3", "-23456789.123"})
        check(t);
    for (int n = 0; n < 200000; ++n) {
        const int digits = 1 + static_cast<int>(rng() % 17);
        std::string text = (rng() % 2) ? "-" : "";
        const int point = static_cast<int>(rng() % (digits + 1));
        for (int d = 0; d < digits; ++d) {
            if (d == point) text += '.';
            text += static_cast<char>('0' + rng() % 10);
        }
        check(text);
    }
    double v = 0.0;
    for (const char* bad : {".", "-", "1.2.3", "1 2", "0x10", "1e", "--1"}) {
        if (skyrift::parse_float(bad, v) != skyrift::NumberError::InvalidFloat) {
            cpptest::fail("'%s' accepted", bad);
        }
    }
    return cpptest::finish("number fast path");
}
