// Sp3Data, read_sp3, compute_elevation.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "python/support/orbit_arg.hpp"
#include "navigation/sp3_reader.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

namespace {

std::string sp3_text(const Sp3Data& d) {
    return "Sp3Data(satellites=" + std::to_string(d.num_satellites()) + ", epochs=" + std::to_string(d.num_epochs) +
           ", interval=" + fmt_float(d.interval) + "s)";
}

using EpochSpan = std::pair<Epoch, Epoch>;

std::optional<Epoch> span_end(const Sp3Data& sp3, Epoch EpochSpan::*end) {
    const auto span = sp3.time_span();
    if (!span) return std::nullopt;
    return (*span).*end;
}

}  // namespace

void register_sp3_data(py::module_& m) {
    py::class_<Sp3Data, std::shared_ptr<Sp3Data>>(m, "Sp3Data", "Python-exposed SP3 data")
        .def_property_readonly("num_satellites", [](const Sp3Data& d) { return d.num_satellites(); },
                               "Number of satellites with orbit records")
        .def_property_readonly("num_epochs", [](const Sp3Data& d) { return d.num_epochs; },
                               "Number of epochs the header announces (not a count of records; 0 when unreadable)")
        .def_property_readonly("interval", [](const Sp3Data& d) { return d.interval; },
                               "Seconds between orbit epochs as the header gives them (900 when unreadable)")
        .def(
            "satellites",
            [](const Sp3Data& d) {
                std::vector<std::string> ids;
                for (const Satellite& s : d.satellites()) ids.push_back(s.id());
                return ids;
            },
            doc_sig("satellites($self)", "Identifiers of the satellites with orbit records, such as G01.").c_str())
        .def("first_epoch", [](const Sp3Data& d) { return span_end(d, &EpochSpan::first); },
             doc_sig("first_epoch($self)", "Earliest epoch of any orbit record, or None without records").c_str())
        .def("last_epoch", [](const Sp3Data& d) { return span_end(d, &EpochSpan::second); },
             doc_sig("last_epoch($self)", "Latest epoch of any orbit record, or None without records").c_str())
        .def("covered_span", [](const Sp3Data& d) { return span_tuple(precise_span(d)); },
             doc_sig("covered_span($self)",
                     "(first, last) GPS-time Epochs between which get_position gives positions: the records\n"
                     "of every satellite with nine of them, widened by one record spacing (at least 900 s).\n"
                     "None when no satellite has nine records.")
                 .c_str())
        .def(
            "get_position",
            [](const Sp3Data& d, py::handle satellite, py::handle epoch) {
                return position_for(OrbitSource{&d, nullptr}, satellite, epoch);
            },
            py::arg("satellite"), py::arg("epoch"),
            doc_sig("get_position($self, satellite, epoch)",
                    "Interpolated Ecef position at epoch, or None. satellite is a Satellite or its\n"
                    "identifier (G01). None as well for an epoch more than one record spacing (at least\n"
                    "900 s) before the satellite's first record or after its last: the polynomial is not\n"
                    "run beyond its records.")
                .c_str())
        .def("__repr__", &sp3_text)
        .def("__str__", &sp3_text);
}

void register_read_sp3(py::module_& m) {
    m.def(
        "read_sp3",
        [](py::handle path_arg) {
            const std::string path = arg_path(path_arg, "path");
            return std::make_shared<Sp3Data>(call_released(Failure::ReadSp3, [&] { return read_sp3(path); }));
        },
        py::arg("path"), doc_sig("read_sp3(path)", "Read SP3 file").c_str());
}

void register_compute_elevation(py::module_& m) {
    m.def(
        "compute_elevation",
        [](py::handle sp3, py::handle receiver, py::handle satellite, py::handle epoch) -> std::optional<double> {
            const SharedOrbit orbit = arg_orbit(sp3, "sp3");
            const Ecef& from = arg_instance<Ecef>(receiver, "receiver");
            const auto position = position_for(orbit.source(), satellite, epoch);
            if (!position) return std::nullopt;
            return calculate_azel(from, *position).elevation;
        },
        py::arg("sp3"), py::arg("receiver"), py::arg("satellite"), py::arg("epoch"),
        doc_sig("compute_elevation(sp3, receiver, satellite, epoch)",
                "Compute satellite elevation from SP3 and receiver position")
            .c_str());
}

}  // namespace skyrift
