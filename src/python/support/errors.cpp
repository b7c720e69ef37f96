#include "python/support/errors.hpp"

namespace skyrift::py_errors {

namespace {

struct PythonError {
    PyObject* type;
    const char* prefix;
};

// The operation alone picks type and prefix: every kind that a reader reports (a
// missing file, a bad header, a parse error) is the same failed read to the caller,
// and callers tell errors apart by exception type, never by message text.
PythonError python_error_of(Failure where) {
    switch (where) {
        case Failure::ReadRinex: return {PyExc_OSError, "Failed to read RINEX: "};
        case Failure::ParseRinex: return {PyExc_OSError, "Failed to parse RINEX: "};
        case Failure::ReadSp3: return {PyExc_OSError, "Failed to read SP3: "};
        case Failure::ReadNav: return {PyExc_OSError, "Failed to read RINEX navigation: "};
        case Failure::Analysis: return {PyExc_ValueError, "Multipath analysis failed: "};
        case Failure::Value: return {PyExc_ValueError, ""};
    }
    return {PyExc_ValueError, ""};
}

// Sets `exception_type` with the whole message and throws to pybind11.
[[noreturn]] void raise_py(PyObject* exception_type, const std::string& message) {
    // Whole message, NUL bytes included (a path may hold one); never a decoding error instead.
    PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
    if (text) {
        PyErr_SetObject(exception_type, text);
        Py_DECREF(text);
    }
    throw py::error_already_set();
}

}  // namespace

std::string error_message(const GnssError& error, Failure where) { return python_error_of(where).prefix + error.message(); }

void raise_error(const GnssError& error, Failure where) { raise_py(python_error_of(where).type, error_message(error, where)); }

void raise_value_error(const std::string& message) { raise_py(PyExc_ValueError, message); }

void raise_argument_error(const char* name, const std::string& reason) {
    raise_py(PyExc_TypeError, "argument '" + std::string(name) + "': " + reason);
}

void raise_pending_as_argument_error(const char* name) {
    if (PyErr_ExceptionMatches(PyExc_TypeError)) {
        py::error_already_set pending;
        raise_argument_error(name, py::str(pending.value()));
    }
    throw py::error_already_set();
}

void raise_unexpected_keyword(const char* function, const std::string& key) {
    raise_py(PyExc_TypeError, std::string(function) + "() got an unexpected keyword argument '" + key + "'");
}

void raise_integer_out_of_range() {
    raise_py(PyExc_OverflowError, "out of range integral type conversion attempted");
}

void raise_index_error(const std::string& message) { raise_py(PyExc_IndexError, message); }

void raise_attribute_not_deletable() { raise_py(PyExc_AttributeError, "can't delete attribute"); }

void raise_already_borrowed() { raise_py(PyExc_RuntimeError, "Already borrowed"); }

void raise_already_mutably_borrowed() { raise_py(PyExc_RuntimeError, "Already mutably borrowed"); }

void raise_missing_extra(py::error_already_set& pending, const char* module, const char* caller) {
    if (!pending.matches(PyExc_ImportError)) throw pending;
    raise_py(PyExc_ImportError, std::string(caller) + " needs " + module + ": pip install 'skyrift_mp[" + module +
                                    "]' (or: pip install " + module + ")");
}

PyObject* fail_import(const char* message) {
    PyErr_SetString(PyExc_ImportError, message);
    return nullptr;
}

void raise_internal_error(const std::string& message) { raise_py(PyExc_RuntimeError, message); }

void warn_user(const std::string& message) {
    if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 1) < 0) throw py::error_already_set();
}

}  // namespace skyrift::py_errors
