#pragma once
// The error boundary: the one place where a core GnssError becomes a Python exception,
// and the one way a binding runs core work with the interpreter lock released.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

#include "utils/result.hpp"

namespace skyrift::py_errors {

namespace py = pybind11;

// Sets `exception_type` with the whole message and throws to pybind11.
[[noreturn]] void raise_py(PyObject* exception_type, const std::string& message);

// Invalid argument content found by the binding itself (an unknown satellite id, an
// empty system code): ValueError with the message alone.
[[noreturn]] void raise_value_error(const std::string& message);

// The operation a core error surfaced from; with the error it decides the Python
// exception type and the message prefix.
enum class Failure : uint8_t {
    ReadRinex,   // read_rinex_obs
    ParseRinex,  // read_rinex_obs_bytes
    ReadSp3,     // read_sp3
    ReadNav,     // read_rinex_nav, read_rinex_nav_bytes
    Analysis,    // MultipathAnalyzer.analyze
    Value,       // everything else: Epoch.parse, code filters, the SNR functions
};

[[noreturn]] void raise_error(const GnssError& error, Failure where);

// The message `raise_error` would raise with, prefix included: for a failure that is
// reported without raising (the damage that ended a partial read).
std::string error_message(const GnssError& error, Failure where);

template <typename T>
T value_or_raise(Result<T>&& result, Failure where = Failure::Value) {
    if (!result) raise_error(result.error(), where);
    return std::move(result).value();
}

template <typename T>
struct is_result : std::false_type {};
template <typename T>
struct is_result<Result<T>> : std::true_type {};

// Runs `compute` with the interpreter lock released and returns its value once the
// lock is held again; a failed Result is raised only then. `compute` must touch no
// Python object: convert the arguments before, build the Python results after.
template <typename Compute>
auto call_released(Failure where, Compute&& compute) {
    if constexpr (std::is_void_v<decltype(compute())>) {  // work that only fills buffers
        const py::gil_scoped_release release;
        std::forward<Compute>(compute)();
    } else {
        auto result = [&] {
            const py::gil_scoped_release release;
            return std::forward<Compute>(compute)();
        }();
        if constexpr (is_result<decltype(result)>::value) {
            return value_or_raise(std::move(result), where);
        } else {
            return result;
        }
    }
}

// A failure, if `compute` can fail, is a plain ValueError.
template <typename Compute>
auto call_released(Compute&& compute) {
    return call_released(Failure::Value, std::forward<Compute>(compute));
}

}  // namespace skyrift::py_errors

namespace skyrift {
using py_errors::call_released;
using py_errors::error_message;
using py_errors::Failure;
using py_errors::raise_error;
using py_errors::raise_py;
using py_errors::raise_value_error;
using py_errors::value_or_raise;
}  // namespace skyrift
