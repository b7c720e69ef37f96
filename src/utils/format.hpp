#pragma once
// Float text as reprs and messages print it.
#include <string>

namespace skyrift {

// Shortest round-trip decimal in fixed notation, no trailing ".0": 900.0 -> "900",
// 1e-7 -> "0.0000001"; non-finite values print as NaN, inf, -inf.
std::string fmt_float(double x);

// Exactly `decimals` digits after the point: fmt_fixed(1.5, 3) -> "1.500".
std::string fmt_fixed(double x, int decimals);

}  // namespace skyrift
