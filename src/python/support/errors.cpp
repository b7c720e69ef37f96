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

}  // namespace

void raise_py(PyObject* exception_type, const std::string& message) {
    // Whole message, NUL bytes included (a path may hold one); never a decoding error instead.
    PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
    if (text) {
        PyErr_SetObject(exception_type, text);
        Py_DECREF(text);
    }
    throw py::error_already_set();
}

void raise_value_error(const std::string& message) { raise_py(PyExc_ValueError, message); }

std::string error_message(const GnssError& error, Failure where) { return python_error_of(where).prefix + error.message(); }

void raise_error(const GnssError& error, Failure where) { raise_py(python_error_of(where).type, error_message(error, where)); }

}  // namespace skyrift::py_errors
