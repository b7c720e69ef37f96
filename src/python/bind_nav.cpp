// NavData, read_rinex_nav, read_rinex_nav_bytes.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "python/support/orbit_arg.hpp"
#include "navigation/nav_data.hpp"
#include "navigation/rinex_nav_reader.hpp"

namespace skyrift {

namespace {

using NavHandle = std::shared_ptr<NavData>;

std::string nav_text(const NavData& d) {
    return "NavData(satellites=" + std::to_string(d.num_satellites()) +
           ", ephemerides=" + std::to_string(d.num_ephemerides()) + ")";
}

// Read with the interpreter lock released; a failure is raised once it is held again.
template <typename Read>
NavHandle read_released(Read&& read) {
    return std::make_shared<NavData>(call_released(Failure::ReadNav, std::forward<Read>(read)));
}

}  // namespace

void register_nav(py::module_& m) {
    py::class_<NavData, NavHandle>(m, "NavData", "Broadcast ephemerides from a RINEX navigation file")
        .def_property_readonly("num_satellites", [](const NavData& d) { return d.num_satellites(); },
                               "Number of satellites with at least one usable ephemeris")
        .def_property_readonly("num_ephemerides", [](const NavData& d) { return d.num_ephemerides(); },
                               "Number of usable ephemeris records over all satellites")
        .def(
            "satellites",
            [](const NavData& d) {
                std::vector<std::string> ids;
                for (const Satellite& s : d.satellites()) ids.push_back(s.id());
                return ids;
            },
            doc_sig("satellites($self)", "Satellites with at least one usable ephemeris, sorted").c_str())
        .def("covered_span", [](const NavData& d) { return span_tuple(broadcast_span(d)); },
             doc_sig("covered_span($self)",
                     "(first, last) GPS-time Epochs between which get_position can give positions: every\n"
                     "ephemeris's reference time widened by its validity. None without ephemerides.")
                 .c_str())
        .def(
            "get_position",
            [](const NavData& d, py::handle satellite, py::handle epoch) {
                return position_for(OrbitSource{nullptr, &d}, satellite, epoch);
            },
            py::arg("satellite"), py::arg("epoch"),
            doc_sig("get_position($self, satellite, epoch)",
                    "Satellite position (ECEF) at a GPS-time epoch from the ephemeris valid then, or None;\n"
                    "satellite is a Satellite or its identifier (G01)")
                .c_str())
        .def("__repr__", &nav_text)
        .def("__str__", &nav_text);

    m.def(
        "read_rinex_nav",
        [](py::handle path_arg) {
            const std::string path = arg_path(path_arg, "path");
            return read_released([&] { return read_rinex_nav(path); });
        },
        py::arg("path"), doc_sig("read_rinex_nav(path)", "Read RINEX navigation file").c_str());
    m.def(
        "read_rinex_nav_bytes",
        [](py::handle data_arg, py::handle filename_arg) {
            std::string data = arg_bytes(data_arg, "data");
            const std::string filename = arg_path(filename_arg, "filename");
            // The name only chooses the decoder; nothing is written or opened.
            return read_released([&] { return read_rinex_nav_bytes(std::move(data), filename); });
        },
        py::arg("data"), py::arg("filename"),
        doc_sig("read_rinex_nav_bytes(data, filename)", "Read RINEX navigation from bytes").c_str());
}

}  // namespace skyrift
