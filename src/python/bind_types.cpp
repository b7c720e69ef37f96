// GnssSystem, Satellite, get_frequency, get_wavelength.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "rinex/beidou_orbits.hpp"
#include "rinex/types.hpp"
#include "utils/text.hpp"

namespace skyrift {

namespace {
// The Python GnssSystem is a small value wrapping the core enum.
struct PySystem {
    GnssSystem system;
};

PySystem make_system(py::handle code_arg) {
    const std::string code = arg_str(code_arg, "code");
    if (code.empty()) raise_value_error("Empty system code");
    const auto system = system_from_letter(ascii_upper(code[0]));
    if (!system) raise_value_error("Unknown system: " + code);
    return {*system};
}

py::object frequency_or_none(py::handle system, py::handle band, py::handle fcn, bool as_wavelength) {
    const std::string letters = arg_str(system, "system");
    const auto band_value = arg_int<uint8_t>(band, "band");
    std::optional<int8_t> channel;
    if (!is_absent(fcn)) channel = arg_int<int8_t>(fcn, "fcn");
    if (letters.empty()) return py::none();
    const auto f = carrier_frequency(letters[0], band_value, channel);
    if (!f) return py::none();
    return py::float_(as_wavelength ? kSpeedOfLight / *f : *f);
}
}  // namespace

void register_system_and_satellite(py::module_& m) {
    py::class_<PySystem>(m, "GnssSystem", "Python-exposed GNSS System enum")
        .def(py::init(&make_system), py::arg("code"),
             doc_sig("__init__($self, code)", "System named by the first letter of code (G, R, E, C, J, S, I or M).")
                 .c_str())
        .def_property_readonly("code", [](const PySystem& s) { return std::string(1, system_letter(s.system)); },
                               "One-letter system code: G, R, E, C, J, S, I, or M for mixed")
        .def_property_readonly("name", [](const PySystem& s) { return std::string(system_name(s.system)); },
                               "System name: GPS, GLONASS, Galileo, BeiDou, QZSS, SBAS, NavIC or Mixed")
        .def("__str__", [](const PySystem& s) { return std::string(system_name(s.system)); })
        .def("__repr__", [](const PySystem& s) { return "GnssSystem('" + std::string(1, system_letter(s.system)) + "')"; });

    py::class_<Satellite>(m, "Satellite", "Python-exposed Satellite")
        .def(py::init([](py::handle id_arg) {
                 const std::string id = arg_str(id_arg, "id");
                 const auto sat = parse_satellite_id(id);
                 if (!sat) raise_value_error("Invalid satellite ID: " + id);
                 return *sat;
             }),
             py::arg("id"), doc_sig("__init__($self, id)", "Satellite from its identifier, such as G01.").c_str())
        .def_property_readonly("id", &Satellite::id,
                               "Identifier: system letter and PRN with at least two digits, e.g. G01")
        .def_property_readonly("prn", [](const Satellite& s) { return s.prn; },
                               "PRN number within the system (int; the slot number for GLONASS)")
        .def_property_readonly("system", [](const Satellite& s) { return PySystem{s.system}; },
                               "The satellite's GnssSystem")
        .def_property_readonly("geostationary", [](const Satellite& s) { return geostationary(s); },
                               "True for a satellite that hangs over one point of the sky: every SBAS "
                               "satellite and BeiDou's GEO satellites (C01-C05, C17-C18 and C59-C63, by "
                               "the PRN assignments before April 2026)")
        .def("__str__", &Satellite::id)
        .def("__repr__", [](const Satellite& s) { return "Satellite('" + s.id() + "')"; });
}

void register_frequency_functions(py::module_& m) {
    m.def(
        "get_frequency",
        [](py::object system, py::object band, py::object fcn) { return frequency_or_none(system, band, fcn, false); },
        py::arg("system"), py::arg("band"), py::arg("fcn") = py::none(),
        doc_sig("get_frequency(system, band, fcn=None)", "Get frequency for a GNSS signal").c_str());
    m.def(
        "get_wavelength",
        [](py::object system, py::object band, py::object fcn) { return frequency_or_none(system, band, fcn, true); },
        py::arg("system"), py::arg("band"), py::arg("fcn") = py::none(),
        doc_sig("get_wavelength(system, band, fcn=None)", "Get wavelength for a GNSS signal").c_str());
}

}  // namespace skyrift
