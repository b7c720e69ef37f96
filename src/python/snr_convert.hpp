#pragma once
// Conversions shared by the SNR function and survey bindings: period bands in,
// float lists out.
#include <vector>

#include "python/common.hpp"
#include "analysis/band_power.hpp"

namespace skyrift {

// A list of (lo, hi) period pairs.
std::vector<PeriodBand> arg_bands(py::handle h, const char* name);

// Long series give millions of floats: these build the lists directly.
py::list float_list(const std::vector<double>& values);
py::list float_rows(const std::vector<std::vector<double>>& rows);

}  // namespace skyrift
