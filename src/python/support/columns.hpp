#pragma once
// Columnar results for Python: numpy arrays allocated here and filled by the core in
// one pass (no Python object per row); pandas and xarray are built from them only on
// request, imported then, with an error naming the extra to install when missing.
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include <pybind11/numpy.h>

#include "python/common.hpp"

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
    // DataFrame of the same columns; text columns as pandas Categoricals.
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

// An optional package, imported at call time; ImportError naming the extra otherwise.
py::module_ import_extra(const char* module, const char* caller);

}  // namespace skyrift
