#include "python/support/snr_convert.hpp"

namespace skyrift {

namespace {
PeriodBand arg_band(py::handle item, const char* name) {
    const std::vector<double> pair = arg_float_list(item, name);
    if (pair.size() != 2) {
        raise_argument_error(name, "a band is a (lo, hi) pair, got " + std::to_string(pair.size()) + " values");
    }
    return {pair[0], pair[1]};
}
}  // namespace

std::vector<PeriodBand> arg_bands(py::handle h, const char* name) { return arg_sequence(h, name, arg_band); }

py::list float_list(const std::vector<double>& values) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(values.size()));
    if (!list) throw py::error_already_set();
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = PyFloat_FromDouble(values[i]);
        if (!item) {
            Py_DECREF(list);
            throw py::error_already_set();
        }
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
    }
    return py::reinterpret_steal<py::list>(list);
}

py::list float_rows(const std::vector<std::vector<double>>& rows) {
    py::list out(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) out[i] = float_list(rows[i]);
    return out;
}

py::array_t<double> float_array(const std::vector<double>& values) {
    py::array_t<double> out(static_cast<py::ssize_t>(values.size()));
    std::copy(values.begin(), values.end(), out.mutable_data());
    return out;
}

py::array_t<double> float_matrix(const std::vector<std::vector<double>>& rows, std::size_t columns) {
    py::array_t<double> out(std::vector<py::ssize_t>{static_cast<py::ssize_t>(rows.size()), static_cast<py::ssize_t>(columns)});
    double* at = out.mutable_data();
    for (const std::vector<double>& row : rows) at = std::copy(row.begin(), row.end(), at);
    return out;
}

py::object floats_out(const std::vector<double>& values, bool as_numpy) {
    if (as_numpy) return float_array(values);
    return float_list(values);
}

py::object rows_out(const std::vector<std::vector<double>>& rows, std::size_t columns, bool as_numpy) {
    if (as_numpy) return float_matrix(rows, columns);
    return float_rows(rows);
}

bool arg_as_numpy(py::handle h) { return !is_absent(h) && arg_bool(h, "as_numpy"); }

}  // namespace skyrift
