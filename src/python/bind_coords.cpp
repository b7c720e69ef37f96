// Ecef, Geodetic, calculate_azel.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

namespace {
std::string ecef_text(const Ecef& p) {
    return "Ecef(" + fmt_fixed(p.x, 3) + ", " + fmt_fixed(p.y, 3) + ", " + fmt_fixed(p.z, 3) + ")";
}

std::string geodetic_text(const Geodetic& g) {
    return "Geodetic(" + fmt_fixed(g.lat, 6) + "\u00b0, " + fmt_fixed(g.lon, 6) + "\u00b0, " + fmt_fixed(g.height, 1) + "m)";
}
}  // namespace

void register_coordinates(py::module_& m) {
    py::class_<Ecef>(m, "Ecef", "Python-exposed ECEF coordinates")
        .def(py::init([](py::handle x, py::handle y, py::handle z) {
                 return Ecef{arg_float(x, "x"), arg_float(y, "y"), arg_float(z, "z")};
             }),
             py::arg("x"), py::arg("y"), py::arg("z"),
             doc_sig("__init__($self, x, y, z)", "Earth-centred, Earth-fixed position in metres.").c_str())
        .def_property_readonly("x", [](const Ecef& p) { return p.x; }, "X in metres: towards 0° latitude, 0° longitude")
        .def_property_readonly("y", [](const Ecef& p) { return p.y; }, "Y in metres: towards 0° latitude, 90° east")
        .def_property_readonly("z", [](const Ecef& p) { return p.z; }, "Z in metres: towards the north pole")
        .def("to_geodetic", [](const Ecef& p) { return to_geodetic(p); },
             doc_sig("to_geodetic($self)", "Latitude, longitude and height on the WGS-84 ellipsoid.").c_str())
        .def("magnitude", [](const Ecef& p) { return magnitude(p); },
             doc_sig("magnitude($self)", "Distance from the Earth's centre in metres.").c_str())
        .def(
            "distance", [](const Ecef& p, py::handle other) { return distance(p, arg_instance<Ecef>(other, "other")); },
            py::arg("other"),
            doc_sig("distance($self, other)", "Straight-line distance to another Ecef in metres.").c_str())
        .def("__repr__", &ecef_text)
        .def("__str__", &ecef_text);

    py::class_<Geodetic>(m, "Geodetic", "Python-exposed Geodetic coordinates")
        .def(py::init([](py::handle lat, py::handle lon, py::handle height) {
                 return Geodetic{arg_float(lat, "lat"), arg_float(lon, "lon"), arg_float(height, "height")};
             }),
             py::arg("lat"), py::arg("lon"), py::arg("height"),
             doc_sig("__init__($self, lat, lon, height)",
                     "Latitude and longitude in degrees, height in metres above the WGS-84 ellipsoid.")
                 .c_str())
        .def_property_readonly("lat", [](const Geodetic& g) { return g.lat; },
                               "Geodetic latitude in degrees, north positive")
        .def_property_readonly("lon", [](const Geodetic& g) { return g.lon; }, "Longitude in degrees, east positive")
        .def_property_readonly("height", [](const Geodetic& g) { return g.height; },
                               "Height above the WGS-84 ellipsoid in metres")
        .def("to_ecef", [](const Geodetic& g) { return to_ecef(g); },
             doc_sig("to_ecef($self)", "Earth-centred, Earth-fixed position in metres.").c_str())
        .def("__repr__", &geodetic_text)
        .def("__str__", &geodetic_text);
}

void register_calculate_azel(py::module_& m) {
    m.def(
        "calculate_azel",
        [](py::handle receiver, py::handle satellite) {
            const Ecef& from = arg_instance<Ecef>(receiver, "receiver");
            const Ecef& to = arg_instance<Ecef>(satellite, "satellite");
            const LookAngles a = calculate_azel(from, to);
            return py::make_tuple(a.azimuth, a.elevation);
        },
        py::arg("receiver"), py::arg("satellite"),
        doc_sig("calculate_azel(receiver, satellite)",
                "Calculate azimuth and elevation\n\n"
                "Look angles of satellite seen from receiver (both Ecef, metres), as the tuple "
                "(azimuth, elevation) in degrees: azimuth clockwise from north in [0, 360), elevation "
                "above the receiver's ellipsoidal horizon in [-90, 90].")
            .c_str());
}

}  // namespace skyrift
