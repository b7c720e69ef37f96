#include "python/support/columns.hpp"

#include <cmath>

#include "analysis/reflector/reflector_signals.hpp"

namespace skyrift {

py::array text_array(const std::vector<std::string>& texts) {
    py::list items;
    for (const std::string& t : texts) items.append(py::str(t));
    return py::module_::import("numpy").attr("array")(items, py::arg("dtype") = "str");
}

py::module_ import_extra(const char* module, const char* caller) {
    try {
        return py::module_::import(module);
    } catch (py::error_already_set& e) {
        raise_missing_extra(e, module, caller);
    }
}

py::object time_column(const std::vector<double>& seconds, bool as_datetimes) {
    if (!as_datetimes) return numpy_column<double>(seconds.size(), [&](std::size_t i) { return seconds[i]; });
    auto ms = numpy_column<int64_t>(seconds.size(), [&](std::size_t i) {
        return static_cast<int64_t>(std::llround(seconds[i] * 1000.0));
    });
    return ms.attr("view")("datetime64[ms]");
}

DoubleColumn float_column(py::handle h, const char* name) {
    auto a = DoubleColumn::ensure(h);
    if (!a) {
        PyErr_Clear();
        raise_argument_error(name, "expected an array of numbers");
    }
    if (a.ndim() != 1) raise_value_error(std::string(name) + " must be one-dimensional");
    return a;
}

std::pair<std::vector<Satellite>, IndexColumn> satellite_column(py::handle h, const char* name) {
    const py::module_ np = py::module_::import("numpy");
    py::array values = np.attr("asarray")(h);
    if (values.ndim() != 1) raise_value_error(std::string(name) + " must be one-dimensional");
    py::tuple unique;
    try {
        unique = np.attr("unique")(values, py::arg("return_inverse") = true);
    } catch (py::error_already_set& e) {
        raise_argument_error(name, "cannot sort the satellite values: " + std::string(py::str(e.value())));
    }
    const py::array distinct = unique[0];
    const char kind = distinct.dtype().kind();
    std::vector<Satellite> satellites;
    for (py::handle item : distinct) {
        std::optional<Satellite> sat;
        std::string shown;
        if (kind == 'i' || kind == 'u') {
            const int64_t number = item.cast<int64_t>();
            sat = satellite_from_snr_number(number);
            shown = std::to_string(number);
        } else if (kind == 'U' || kind == 'O') {
            if (!PyUnicode_Check(item.ptr()))
                raise_argument_error(name, "expected identifiers (str) or SNR satellite numbers (int)");
            shown = arg_str(item, name);
            sat = parse_satellite_id(shown);
        } else {
            raise_argument_error(name, "expected identifiers (str) or SNR satellite numbers (int)");
        }
        if (!sat) raise_value_error(std::string(name) + ": '" + shown + "' is not a satellite");
        satellites.push_back(*sat);
    }
    return {std::move(satellites), IndexColumn::ensure(np.attr("ravel")(unique[1]))};
}

void ColumnTable::categories(std::initializer_list<std::reference_wrapper<const std::vector<std::string>>> texts) {
    auto next = texts.begin();
    for (Column& c : columns_) {
        if (!c.coded) continue;
        if (next == texts.end()) raise_internal_error("a text column without its categories: " + c.name);
        c.categories = text_array(*next++);
    }
}

void ColumnTable::strings(const char* name, const std::vector<std::string>& texts) {
    columns_.push_back({name, text_array(texts), false, py::none()});
}

py::dict ColumnTable::to_numpy() const {
    py::dict out;
    for (const Column& c : columns_)
        out[py::str(c.name)] = c.coded ? c.categories.attr("take")(c.array) : py::object(c.array);
    return out;
}

py::object ColumnTable::to_pandas(const char* caller) const {
    const py::module_ pd = import_extra("pandas", caller);
    py::dict data;
    for (const Column& c : columns_) {
        data[py::str(c.name)] =
            c.coded ? pd.attr("Categorical").attr("from_codes")(c.array, py::arg("categories") = c.categories)
                    : py::object(c.array);
    }
    py::object frame = pd.attr("DataFrame")(data);
    const bool has_instants = std::any_of(columns_.begin(), columns_.end(),
                                          [](const Column& c) { return !c.coded && c.array.dtype().kind() == 'M'; });
    if (has_instants) label_gps_time(frame);
    return frame;
}

void label_gps_time(py::object& frame) { frame.attr("attrs")["time_scale"] = "GPS"; }

}  // namespace skyrift
