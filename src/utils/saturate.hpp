#pragma once
// Float-to-integer conversion that never has undefined behaviour: truncation toward
// zero, NaN to 0, values beyond the range clamped to its ends.
#include <cmath>
#include <cstdint>
#include <limits>

namespace skyrift {

inline int64_t saturating_int64(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (x <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(x);
}

}  // namespace skyrift
