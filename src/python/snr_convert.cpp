#include "python/snr_convert.hpp"

namespace skyrift {

namespace {
PeriodBand arg_band(py::handle item, const char* name) {
    const std::vector<double> pair = arg_float_list(item, name);
    if (pair.size() != 2) {
        py_args::raise_argument_error(name, "a band is a (lo, hi) pair, got " + std::to_string(pair.size()) + " values");
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

}  // namespace skyrift
