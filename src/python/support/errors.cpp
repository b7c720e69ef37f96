#include "python/support/errors.hpp"

namespace skyrift::py_errors {

namespace {

struct PythonError {
    PyObject* type;
    const char* prefix;
};

// The operation alone picks type and prefix: every kind that a reader reports (a
// missing file, a bad header, a parse error) is the same failed read to the caller,
// and callers tell errors apart by exception type, never by message text. A failed
// read is raised as the OSError subclass of its cause (raise_os_error).
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

// Whole message, NUL bytes included (a path may hold one); never a decoding error instead.
py::object message_text(const std::string& message) {
    return py::reinterpret_steal<py::object>(
        PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
}

// Sets `exception_type` with the whole message and throws to pybind11.
[[noreturn]] void raise_py(PyObject* exception_type, const std::string& message) {
    if (const py::object text = message_text(message)) PyErr_SetObject(exception_type, text.ptr());
    throw py::error_already_set();
}

// The OSError subclass the interpreter itself gives `error_number` (FileNotFoundError for
// ENOENT, IsADirectoryError for EISDIR, PermissionError for EACCES, ...); plain OSError
// when it names none.
py::object os_error_subclass(int error_number) {
    const auto probe = py::reinterpret_steal<py::object>(PyObject_CallFunction(PyExc_OSError, "is", error_number, ""));
    if (!probe) {
        PyErr_Clear();
        return py::reinterpret_borrow<py::object>(PyExc_OSError);
    }
    return py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(Py_TYPE(probe.ptr())));
}

// A failed read as the OSError subclass of its cause, carrying the cause's errno. Only
// `errno` is set: with `strerror` too, str() would become "[Errno N] ..." and the message
// would change.
[[noreturn]] void raise_os_error(const GnssError& error, const std::string& message) {
    py::object type = error.os_error() != 0 ? os_error_subclass(error.os_error())
                      : error.kind() == ErrorKind::FileNotFound
                          ? py::reinterpret_borrow<py::object>(PyExc_FileNotFoundError)
                          : py::reinterpret_borrow<py::object>(PyExc_OSError);
    const py::object text = message_text(message);
    if (!text) throw py::error_already_set();
    const auto exception = py::reinterpret_steal<py::object>(PyObject_CallOneArg(type.ptr(), text.ptr()));
    if (!exception) throw py::error_already_set();
    if (error.os_error() != 0 && PyObject_SetAttrString(exception.ptr(), "errno", py::int_(error.os_error()).ptr()) != 0)
        throw py::error_already_set();
    PyErr_SetObject(type.ptr(), exception.ptr());
    throw py::error_already_set();
}

}  // namespace

std::string error_message(const GnssError& error, Failure where) { return python_error_of(where).prefix + error.message(); }

void raise_error(const GnssError& error, Failure where) {
    const PythonError python_error = python_error_of(where);
    if (python_error.type == PyExc_OSError) raise_os_error(error, error_message(error, where));
    raise_py(python_error.type, error_message(error, where));
}

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
