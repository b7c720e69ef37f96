#pragma once
// Conversions shared by the SNR function and survey bindings: period bands in,
// float lists out.
#include <vector>

#include <pybind11/numpy.h>

#include "python/common.hpp"
#include "analysis/snr/band_power.hpp"

namespace skyrift {

// A list of (lo, hi) period pairs.
std::vector<PeriodBand> arg_bands(py::handle h, const char* name);

// Long series give millions of floats: these build the lists directly.
py::list float_list(const std::vector<double>& values);
py::list float_rows(const std::vector<std::vector<double>>& rows);

// The same as numpy arrays (the functions' as_numpy=True): one copy, no object per value.
py::array_t<double> float_array(const std::vector<double>& values);
// rows.size() × columns; every row holds `columns` values.
py::array_t<double> float_matrix(const std::vector<std::vector<double>>& rows, std::size_t columns);

// A list, or with as_numpy an array.
py::object floats_out(const std::vector<double>& values, bool as_numpy);
py::object rows_out(const std::vector<std::vector<double>>& rows, std::size_t columns, bool as_numpy);

// The as_numpy argument: absent means lists.
bool arg_as_numpy(py::handle h);

}  // namespace skyrift
