#include "python/support/columns.hpp"

#include <stdexcept>

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
        if (!e.matches(PyExc_ImportError)) throw;
        raise_py(PyExc_ImportError, std::string(caller) + " needs " + module + ": pip install 'skyrift_mp[" +
                                        module + "]' (or: pip install " + module + ")");
    }
}

void ColumnTable::categories(std::initializer_list<std::reference_wrapper<const std::vector<std::string>>> texts) {
    auto next = texts.begin();
    for (Column& c : columns_) {
        if (!c.coded) continue;
        if (next == texts.end()) throw std::logic_error("a text column without its categories: " + c.name);
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
    return pd.attr("DataFrame")(data);
}

}  // namespace skyrift
