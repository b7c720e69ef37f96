#pragma once
// Argument conversion: one helper per kind, each raising the module's errors through
// the boundary: TypeError "argument '{name}': {reason}", OverflowError for out-of-range
// integers.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "python/support/errors.hpp"
#include "rinex/types.hpp"

namespace skyrift::py_args {

namespace py = pybind11;

using py_errors::raise_argument_error;
using py_errors::raise_integer_out_of_range;
using py_errors::raise_pending_as_argument_error;

// "name(args)\n--\n\nDocstring": the form from which inspect.signature reads parameters.
std::string doc_sig(const std::string& signature, const std::string& doc);

inline bool is_absent(py::handle h) { return !h || h.is_none(); }

double arg_float(py::handle h, const char* name);
std::string arg_str(py::handle h, const char* name);
std::string arg_bytes(py::handle h, const char* name);  // exactly `bytes`
// A file-system path: a str or an os.PathLike giving str (os.fspath), encoded as the
// system's file names are (os.fsencode). A bytes path is refused: bytes are file contents
// to this module (read_rinex_obs_bytes), and messages show paths as text.
std::string arg_path(py::handle h, const char* name);
bool arg_bool(py::handle h, const char* name);           // bool or numpy.bool_ only
std::vector<double> arg_float_list(py::handle h, const char* name);
// A satellite given as a Satellite or as its identifier text ("G01"); absent when the
// text names no satellite (a lookup that finds nothing, not an error).
std::optional<Satellite> arg_satellite(py::handle h, const char* name);

// Length of a list parameter; a str or a non-sequence is refused.
std::size_t arg_sequence_size(py::handle h, const char* name);

// A list parameter whose items are converted by `convert(item, name)` (for lists of
// pairs, tuples and other structured items).
template <typename Convert>
auto arg_sequence(py::handle h, const char* name, Convert convert)
    -> std::vector<decltype(convert(py::handle(), name))> {
    const std::size_t n = arg_sequence_size(h, name);
    std::vector<decltype(convert(py::handle(), name))> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        py::object item = py::reinterpret_steal<py::object>(PySequence_GetItem(h.ptr(), static_cast<Py_ssize_t>(i)));
        if (!item) raise_pending_as_argument_error(name);
        out.push_back(convert(item, name));
    }
    return out;
}
std::vector<std::string> arg_str_list(py::handle h, const char* name);

// Python int (bool included) within [lo, hi] of the 64-bit range, else OverflowError.
int64_t arg_int64_in(py::handle h, const char* name, int64_t lo, int64_t hi);
uint64_t arg_uint64(py::handle h, const char* name);

template <typename T>
T arg_int(py::handle h, const char* name) {
    static_assert(std::is_integral_v<T>);
    if constexpr (std::is_same_v<T, uint64_t>) {
        return arg_uint64(h, name);
    } else {
        return static_cast<T>(arg_int64_in(h, name, static_cast<int64_t>(std::numeric_limits<T>::min()),
                                           static_cast<int64_t>(std::numeric_limits<T>::max())));
    }
}

// An instance of one of the module's classes; the reference is valid for the call.
template <typename T>
T& arg_instance(py::handle h, const char* name) {
    if (!h || !py::isinstance<T>(h)) {
        raise_argument_error(name, "expected " + std::string(py::str(py::type::handle_of<T>().attr("__name__"))) +
                                       ", got " + std::string(py::str(py::type::handle_of(h).attr("__name__"))));
    }
    return h.cast<T&>();
}

// Same, keeping shared ownership (for objects bound with std::shared_ptr holders).
template <typename T>
std::shared_ptr<T> arg_shared(py::handle h, const char* name) {
    arg_instance<T>(h, name);
    return h.cast<std::shared_ptr<T>>();
}

}  // namespace skyrift::py_args

namespace skyrift {
using py_args::arg_bool;
using py_args::arg_bytes;
using py_args::arg_float;
using py_args::arg_float_list;
using py_args::arg_instance;
using py_args::arg_satellite;
using py_args::arg_int;
using py_args::arg_path;
using py_args::arg_shared;
using py_args::arg_str;
using py_args::arg_sequence;
using py_args::arg_str_list;
using py_args::doc_sig;
using py_args::is_absent;
}  // namespace skyrift
