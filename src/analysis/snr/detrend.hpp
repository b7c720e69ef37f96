#pragma once
// Least-squares polynomial detrending of one arc with automatic order choice.
#include <cstddef>
#include <span>
#include <vector>

#include "utils/result.hpp"

namespace skyrift {

struct Detrended {
    std::vector<double> residual;
    std::size_t order = 0;  // 0: only the mean was removed
};

// Fits orders 2 … max_order (while 3·order < n) and keeps the first with the strictly
// smallest RMS; fewer than 12 values or max_order < 2 only remove the mean.
// Fails when times and values differ in length, or when the orders that would be
// tried exceed kMaxDetrendOrder (the fits would take hours and gigabytes).
inline constexpr std::size_t kMaxDetrendOrder = 64;
Result<Detrended> detrend_arc(std::span<const double> times, std::span<const double> values,
                              std::size_t max_order);

}  // namespace skyrift
