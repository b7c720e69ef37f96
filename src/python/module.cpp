// Module initialisation: one module object per process, classes, functions and
// constants added in a fixed order. Sub-interpreters are refused.
#include "python/common.hpp"
#include "python/bindings.hpp"

#include "utils/constants.hpp"

namespace {

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "skyrift_mp",
    "Python module definition",
    0,  // m_size >= 0 makes CPython call the init again in another interpreter, where it is refused
    nullptr, nullptr, nullptr, nullptr, nullptr,
};

PyObject* the_module = nullptr;
int64_t owner_interpreter = -1;

void register_everything(py::module_& m) {
    using namespace skyrift;
    py::options options;
    options.disable_function_signatures();  // docstrings carry their own text signatures

    register_system_and_satellite(m);
    register_epoch(m);
    register_coordinates(m);
    register_rinex_obs_data(m);
    register_multipath_classes(m);
    register_snr_series(m);
    register_sp3_data(m);
    register_array_views(m);

    register_rinex_readers(m);
    register_read_sp3(m);
    register_frequency_functions(m);
    register_calculate_azel(m);
    register_compute_elevation(m);
    register_version(m);
    register_snr_functions(m);
    register_snr_survey(m);

    register_constants(m);

    register_reflector(m);
    register_nav(m);
    register_quality(m);
    register_quality_tables(m);
    register_observation_rows(m);
}

}  // namespace

extern "C" PYBIND11_EXPORT PyObject* PyInit_skyrift_mp() {
    const int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (the_module) {
        if (interpreter != owner_interpreter) {
            return skyrift::fail_import("skyrift_mp does not support sub-interpreters");
        }
        Py_INCREF(the_module);
        return the_module;
    }
    PyObject* raw = PyModule_Create(&module_definition);
    if (!raw) return nullptr;
    try {
        auto m = py::reinterpret_borrow<py::module_>(raw);
        register_everything(m);
    } catch (py::error_already_set& e) {
        e.restore();
        Py_DECREF(raw);
        return nullptr;
    } catch (const std::exception& e) {
        Py_DECREF(raw);
        return skyrift::fail_import(e.what());
    }
    owner_interpreter = interpreter;
    the_module = raw;
    Py_INCREF(the_module);  // kept for repeated imports in this interpreter
    return raw;
}

namespace skyrift {

void register_version(py::module_& m) {
    m.def("version", []() { return std::string(SKYRIFT_VERSION); }, doc_sig("version()", "Get library version").c_str());
    m.attr("__version__") = SKYRIFT_VERSION;  // the attribute packaging tools and users look for first
}

void register_constants(py::module_& m) {
    m.attr("SPEED_OF_LIGHT") = kSpeedOfLight;
    m.attr("GM_WGS84") = kWgs84Gm;
    m.attr("EARTH_RADIUS") = kWgs84A;
    m.attr("GPS_L1_WAVELENGTH") = kGpsL1Wavelength;
}

}  // namespace skyrift
