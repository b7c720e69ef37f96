#pragma once
// Columns between numpy and the core. Out: numpy arrays allocated here and filled by the
// core in one pass (no Python object per row); pandas and xarray are built from them only
// on request, imported then, with an error naming the extra to install when missing.
// In: array-likes read as contiguous float64 and satellite columns as indices.
#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include <pybind11/numpy.h>

#include "python/common.hpp"
#include "rinex/types.hpp"

namespace skyrift {

class ColumnTable {
public:
    explicit ColumnTable(std::size_t rows) : rows_(rows) {}

    // Each adds a column of `rows` values and returns its buffer, to be filled
    // (with the interpreter lock released if the caller likes) before the table is
    // handed out.
    double* floats(const char* name) { return add<double>(name, py::dtype::of<double>()); }
    int64_t* ints(const char* name) { return add<int64_t>(name, py::dtype::of<int64_t>()); }
    int64_t* times_ms(const char* name) { return add<int64_t>(name, py::dtype("datetime64[ms]")); }
    // Dictionary-coded text: row indices now, the distinct texts through `categories`.
    int32_t* text(const char* name) { return add<int32_t>(name, py::dtype::of<int32_t>(), true); }
    // The distinct texts of every text column, in the order the columns were added.
    void categories(std::initializer_list<std::reference_wrapper<const std::vector<std::string>>> texts);
    // Plain text, one entry per row (for short tables).
    void strings(const char* name, const std::vector<std::string>& texts);

    // dict of 1-D arrays; text columns as fixed-width str arrays.
    py::dict to_numpy() const;
    // DataFrame of the same columns; text columns as pandas Categoricals; labelled as
    // GPS time when it has instants (label_gps_time).
    py::object to_pandas(const char* caller) const;

private:
    struct Column {
        std::string name;
        py::array array;
        bool coded = false;
        py::object categories;  // numpy str array once set
    };
    template <typename T>
    T* add(const char* name, const py::dtype& dtype, bool coded = false) {
        py::array a(dtype, std::vector<py::ssize_t>{static_cast<py::ssize_t>(rows_)});
        columns_.push_back({name, a, coded, py::none()});
        return static_cast<T*>(a.mutable_data());
    }
    std::size_t rows_;
    std::vector<Column> columns_;
};

// A 1-D str array of the texts (dtype str even when empty).
py::array text_array(const std::vector<std::string>& texts);

// A 1-D array of n values, value_of(i) each.
template <typename T, typename ValueOf>
py::array_t<T> numpy_column(std::size_t n, ValueOf&& value_of) {
    py::array_t<T> out(static_cast<py::ssize_t>(n));
    T* data = out.mutable_data();
    for (std::size_t i = 0; i < n; ++i) data[i] = value_of(i);
    return out;
}

// Fixed-width numpy unicode column ('<U{width}') of ASCII texts, filled without a Python
// object per row.
template <typename TextOf>
py::array text_column(std::size_t n, TextOf&& text_of) {
    std::size_t width = 1;
    for (std::size_t i = 0; i < n; ++i) width = std::max(width, std::string(text_of(i)).size());
    std::vector<char32_t> buffer(n * width, U'\0');
    for (std::size_t i = 0; i < n; ++i) {
        const std::string t(text_of(i));
        for (std::size_t j = 0; j < t.size(); ++j) buffer[i * width + j] = static_cast<unsigned char>(t[j]);
    }
    py::array out = py::module_::import("numpy").attr("empty")(n, "<U" + std::to_string(width));
    if (n) std::memcpy(out.mutable_data(), buffer.data(), buffer.size() * sizeof(char32_t));
    return out;
}

// Unix seconds as float64, or (as_datetimes) as datetime64[ms] rounded to the millisecond.
py::object time_column(const std::vector<double>& seconds, bool as_datetimes);

using DoubleColumn = py::array_t<double, py::array::c_style | py::array::forcecast>;
using IndexColumn = py::array_t<int64_t, py::array::c_style | py::array::forcecast>;

// A 1-D float64 view of an array-like (converted by numpy once when it is not one already).
DoubleColumn float_column(py::handle h, const char* name);

// Satellites as distinct values plus an index per sample, through numpy.unique so that no
// Python object is made per sample. Integers follow the SNR file numbering (GPS 1-99,
// GLONASS +100, Galileo +200, BeiDou +300); strings are identifiers such as "G01".
std::pair<std::vector<Satellite>, IndexColumn> satellite_column(py::handle h, const char* name);

// Marks a DataFrame whose instants are observation epochs: attrs["time_scale"] = "GPS",
// since datetime64 carries no time scale and would pass for UTC (GPS time runs ahead of
// UTC by the leap seconds).
void label_gps_time(py::object& frame);

// An optional package, imported at call time; ImportError naming the extra otherwise.
py::module_ import_extra(const char* module, const char* caller);

}  // namespace skyrift
