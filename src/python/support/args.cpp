#include "python/support/args.hpp"

#include <bit>
#include <cstring>

namespace skyrift::py_args {

namespace {
std::string type_name(py::handle h) { return py::str(py::type::handle_of(h).attr("__name__")); }

// PyLong value as a 128-bit-free pair: fits in int64, fits in uint64, or out of range.
struct IntValue {
    bool negative;
    uint64_t magnitude;
};

IntValue int_value(py::handle h, const char* name) {
    if (!PyLong_Check(h.ptr())) raise_argument_error(name, "'" + type_name(h) + "' object cannot be interpreted as an integer");
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(h.ptr(), &overflow);
    if (overflow < 0) raise_integer_out_of_range();
    if (overflow > 0) {
        const unsigned long long u = PyLong_AsUnsignedLongLong(h.ptr());
        if (u == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
            PyErr_Clear();
            raise_integer_out_of_range();
        }
        return {false, u};
    }
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (v < 0) return {true, static_cast<uint64_t>(-(v + 1)) + 1};
    return {false, static_cast<uint64_t>(v)};
}
}  // namespace

std::string doc_sig(const std::string& signature, const std::string& doc) {
    // pybind11 methods are function objects whose __self__ is set, so inspect would
    // drop a "$self" parameter once for being bound and once more for the method
    // binding; a plain "self" gives the right signature both unbound and bound.
    std::string text = signature;
    if (const auto at = text.find("($self"); at != std::string::npos) text.replace(at, 6, "(self");
    return text + "\n--\n\n" + doc;
}

double arg_float(py::handle h, const char* name) {
    if (PyFloat_CheckExact(h.ptr())) return PyFloat_AS_DOUBLE(h.ptr());
    const double v = PyFloat_AsDouble(h.ptr());
    if (v == -1.0 && PyErr_Occurred()) raise_pending_as_argument_error(name);
    return v;
}

std::string arg_str(py::handle h, const char* name) {
    if (!PyUnicode_Check(h.ptr())) raise_argument_error(name, "expected str, got " + type_name(h));
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(h.ptr(), &size);
    if (!data) raise_pending_as_argument_error(name);
    return std::string(data, static_cast<std::size_t>(size));
}

std::optional<Satellite> arg_satellite(py::handle h, const char* name) {
    if (py::isinstance<Satellite>(h)) return h.cast<Satellite>();
    if (!PyUnicode_Check(h.ptr())) raise_argument_error(name, "expected str or Satellite, got " + type_name(h));
    return parse_satellite_id(arg_str(h, name));
}

std::string arg_bytes(py::handle h, const char* name) {
    if (!PyBytes_Check(h.ptr())) raise_argument_error(name, "expected bytes, got " + type_name(h));
    return std::string(PyBytes_AS_STRING(h.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(h.ptr())));
}

std::string arg_path(py::handle h, const char* name) {
    const std::string expected = "expected str or os.PathLike, got " + type_name(h);
    const auto text = py::reinterpret_steal<py::object>(PyOS_FSPath(h.ptr()));
    if (!text) {
        if (!PyErr_ExceptionMatches(PyExc_TypeError)) throw py::error_already_set();
        PyErr_Clear();
        raise_argument_error(name, expected);
    }
    if (!PyUnicode_Check(text.ptr())) raise_argument_error(name, expected + (PyBytes_Check(h.ptr()) ? "" : " giving bytes"));
    const auto encoded = py::reinterpret_steal<py::object>(PyUnicode_EncodeFSDefault(text.ptr()));
    if (!encoded) raise_pending_as_argument_error(name);
    return std::string(PyBytes_AS_STRING(encoded.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.ptr())));
}

bool arg_bool(py::handle h, const char* name) {
    if (PyBool_Check(h.ptr())) return h.ptr() == Py_True;
    const py::handle type = py::type::handle_of(h);
    const std::string tname = py::str(type.attr("__name__"));
    const py::object module = py::getattr(type, "__module__", py::none());
    if ((tname == "bool_" || tname == "bool") && !module.is_none() && std::string(py::str(module)) == "numpy") {
        const int truth = PyObject_IsTrue(h.ptr());
        if (truth < 0) raise_pending_as_argument_error(name);
        return truth == 1;
    }
    raise_argument_error(name, "expected bool, got " + tname);
}

std::size_t arg_sequence_size(py::handle h, const char* name) {
    if (PyUnicode_Check(h.ptr())) raise_argument_error(name, "a str cannot be used as a sequence of items");
    if (!PySequence_Check(h.ptr())) raise_argument_error(name, "'" + type_name(h) + "' object is not a sequence");
    const Py_ssize_t n = PySequence_Size(h.ptr());
    if (n < 0) raise_pending_as_argument_error(name);
    return static_cast<std::size_t>(n);
}

namespace {

template <typename T>
void convert_strided(const Py_buffer& view, std::vector<double>& out) {
    const auto* base = static_cast<const char*>(view.buf);
    const Py_ssize_t stride = view.strides ? view.strides[0] : view.itemsize;
    for (std::size_t i = 0; i < out.size(); ++i) {
        T v;
        std::memcpy(&v, base + static_cast<Py_ssize_t>(i) * stride, sizeof v);
        out[i] = static_cast<double>(v);
    }
}

// A one-dimensional buffer of native numbers (a numpy array, array.array, memoryview)
// read at C speed: the values float() gives item by item, without an object per item.
// Anything else (other shapes, byte orders or kinds) is left to the item-wise path.
std::optional<std::vector<double>> floats_from_buffer(py::handle h) {
    if (!PyObject_CheckBuffer(h.ptr())) return std::nullopt;
    Py_buffer view;
    if (PyObject_GetBuffer(h.ptr(), &view, PyBUF_FORMAT | PyBUF_STRIDES) != 0) {
        PyErr_Clear();
        return std::nullopt;
    }
    struct Release {
        Py_buffer* view;
        ~Release() { PyBuffer_Release(view); }
    } release{&view};
    if (view.ndim != 1 || !view.shape) return std::nullopt;
    const char* format = view.format ? view.format : "B";
    if (*format == '@' || *format == '=' || (*format == '<' && std::endian::native == std::endian::little)) ++format;
    if (!*format || format[1] != '\0') return std::nullopt;
    std::vector<double> out(static_cast<std::size_t>(view.shape[0]));
    const char kind = *format;
    const auto size = view.itemsize;
    if (kind == 'd' && size == 8) {
        convert_strided<double>(view, out);
    } else if (kind == 'f' && size == 4) {
        convert_strided<float>(view, out);
    } else if (kind == '?' && size == 1) {
        convert_strided<bool>(view, out);
    } else if (std::strchr("bhilq", kind)) {
        if (size == 1) convert_strided<int8_t>(view, out);
        else if (size == 2) convert_strided<int16_t>(view, out);
        else if (size == 4) convert_strided<int32_t>(view, out);
        else if (size == 8) convert_strided<int64_t>(view, out);
        else return std::nullopt;
    } else if (std::strchr("BHILQ", kind)) {
        if (size == 1) convert_strided<uint8_t>(view, out);
        else if (size == 2) convert_strided<uint16_t>(view, out);
        else if (size == 4) convert_strided<uint32_t>(view, out);
        else if (size == 8) convert_strided<uint64_t>(view, out);
        else return std::nullopt;
    } else {
        return std::nullopt;
    }
    return out;
}

}  // namespace

std::vector<double> arg_float_list(py::handle h, const char* name) {
    if (!PyUnicode_Check(h.ptr()) && PySequence_Check(h.ptr())) {
        if (auto values = floats_from_buffer(h)) return std::move(*values);
    }
    return arg_sequence(h, name, [](py::handle item, const char* n) { return arg_float(item, n); });
}

std::vector<std::string> arg_str_list(py::handle h, const char* name) {
    return arg_sequence(h, name, [](py::handle item, const char* n) { return arg_str(item, n); });
}

int64_t arg_int64_in(py::handle h, const char* name, int64_t lo, int64_t hi) {
    const IntValue v = int_value(h, name);
    if (v.negative) {
        if (v.magnitude > static_cast<uint64_t>(INT64_MAX) + 1) raise_integer_out_of_range();
        const int64_t value = v.magnitude == static_cast<uint64_t>(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(v.magnitude);
        if (value < lo) raise_integer_out_of_range();
        return value;
    }
    if (v.magnitude > static_cast<uint64_t>(hi)) raise_integer_out_of_range();
    return static_cast<int64_t>(v.magnitude);
}

uint64_t arg_uint64(py::handle h, const char* name) {
    const IntValue v = int_value(h, name);
    if (v.negative) raise_integer_out_of_range();
    return v.magnitude;
}

}  // namespace skyrift::py_args
