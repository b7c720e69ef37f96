#pragma once
// The error boundary: the one place that decides which Python exception a failure
// becomes and what its message starts with, and the one way a binding runs core work
// with the interpreter lock released. Bindings raise only through the helpers below.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

#include "utils/result.hpp"

namespace skyrift::py_errors {

namespace py = pybind11;

// --- failures of the core (a GnssError) --------------------------------------------

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

// A reader's failure is the OSError subclass of its cause (FileNotFoundError,
// IsADirectoryError, PermissionError, ...; `errno` set when the system gave one).
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

// --- failures the binding finds itself ---------------------------------------------

// Invalid argument content (an unknown satellite id, an empty system code): ValueError
// with the message alone.
[[noreturn]] void raise_value_error(const std::string& message);

// An argument of the wrong kind: TypeError "argument '{name}': {reason}".
[[noreturn]] void raise_argument_error(const char* name, const std::string& reason);
// Re-raises the pending Python error; a TypeError is re-worded under the argument's name.
[[noreturn]] void raise_pending_as_argument_error(const char* name);
// A keyword that `function` does not take: TypeError, worded as the interpreter does.
[[noreturn]] void raise_unexpected_keyword(const char* function, const std::string& key);
// An integer outside its parameter's range: OverflowError.
[[noreturn]] void raise_integer_out_of_range();

// A position outside a sequence: IndexError with the message alone.
[[noreturn]] void raise_index_error(const std::string& message);
// `del` of an attribute that can be set but not removed: AttributeError.
[[noreturn]] void raise_attribute_not_deletable();

// Borrow conflicts between threads: RuntimeError.
[[noreturn]] void raise_already_borrowed();          // an exclusive borrow meets any borrow
[[noreturn]] void raise_already_mutably_borrowed();  // a shared borrow meets an exclusive one

// `pending` came from importing the optional package `module` for `caller`: an
// ImportError becomes one naming the extra to install; anything else is re-raised.
[[noreturn]] void raise_missing_extra(py::error_already_set& pending, const char* module, const char* caller);
// The module cannot be initialised: sets ImportError and returns NULL, as the init
// function reports it. C API only: it may run in a sub-interpreter, where pybind11
// must not be used.
PyObject* fail_import(const char* message);
// A broken invariant of the binding layer itself: RuntimeError, never a crash.
[[noreturn]] void raise_internal_error(const std::string& message);

// --- warnings ----------------------------------------------------------------------

// A result the caller should doubt though nothing failed (an orbit that covers part of
// the observations): UserWarning, attributed to the caller's line. Where warnings are
// errors, the UserWarning is raised as an exception.
void warn_user(const std::string& message);

}  // namespace skyrift::py_errors

namespace skyrift {
using py_errors::call_released;
using py_errors::error_message;
using py_errors::fail_import;
using py_errors::Failure;
using py_errors::raise_already_borrowed;
using py_errors::raise_already_mutably_borrowed;
using py_errors::raise_argument_error;
using py_errors::raise_attribute_not_deletable;
using py_errors::raise_error;
using py_errors::raise_index_error;
using py_errors::raise_integer_out_of_range;
using py_errors::raise_internal_error;
using py_errors::raise_missing_extra;
using py_errors::raise_pending_as_argument_error;
using py_errors::raise_unexpected_keyword;
using py_errors::raise_value_error;
using py_errors::value_or_raise;
using py_errors::warn_user;
}  // namespace skyrift
