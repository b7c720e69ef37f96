// Epoch.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "utils/time.hpp"

namespace skyrift {

namespace {
Epoch make_epoch(py::handle year, py::handle month, py::handle day, py::handle hour, py::handle minute,
                 py::handle second) {
    Epoch e;
    e.year = arg_int<int32_t>(year, "year");
    e.month = arg_int<uint32_t>(month, "month");
    e.day = arg_int<uint32_t>(day, "day");
    e.hour = arg_int<uint32_t>(hour, "hour");
    e.minute = arg_int<uint32_t>(minute, "minute");
    e.second = arg_float(second, "second");
    return e;
}

Epoch parse_or_raise(py::handle text) { return value_or_raise(parse_epoch(arg_str(text, "s"))); }
}  // namespace

void register_epoch(py::module_& m) {
    py::class_<Epoch>(m, "Epoch", "Python-exposed Epoch (time)")
        .def(py::init(&make_epoch), py::arg("year"), py::arg("month"), py::arg("day"), py::arg("hour") = 0,
             py::arg("minute") = 0, py::arg("second") = 0.0,
             doc_sig("__init__($self, year, month, day, hour=0, minute=0, second=0.0)",
                     "Epoch from calendar fields, stored as given (no range checks).")
                 .c_str())
        .def_static("parse", &parse_or_raise, py::arg("s"),
                    doc_sig("parse(s)", "Epoch from ISO 8601 text or blank-separated RINEX epoch fields.").c_str())
        .def_property_readonly("year", [](const Epoch& e) { return e.year; }, "Calendar year (int, as given)")
        .def_property_readonly("month", [](const Epoch& e) { return e.month; }, "Month, 1 to 12 (int, as given)")
        .def_property_readonly("day", [](const Epoch& e) { return e.day; }, "Day of the month, from 1 (int, as given)")
        .def_property_readonly("hour", [](const Epoch& e) { return e.hour; }, "Hour, 0 to 23 (int, as given)")
        .def_property_readonly("minute", [](const Epoch& e) { return e.minute; }, "Minute, 0 to 59 (int, as given)")
        .def_property_readonly("second", [](const Epoch& e) { return e.second; },
                               "Seconds of the minute with their fraction (float, as given)")
        .def("to_iso", [](const Epoch& e) { return iso_text(e); },
             doc_sig("to_iso($self)", "ISO 8601 text with milliseconds and a trailing Z. The Z is the text's fixed\n"
                                     "form: the time scale is the epoch's own (GPS time for RINEX epochs), not UTC.").c_str())
        .def("to_iso_string", [](const Epoch& e) { return iso_text(e); },
             doc_sig("to_iso_string($self)", "Same as to_iso().").c_str())
        .def("to_gps_time", [](const Epoch& e) { return gps_time(e); },
             doc_sig("to_gps_time($self)", "(GPS week, seconds of week): the week an int, the seconds a float.").c_str())
        .def("julian_date", &julian_date, doc_sig("julian_date($self)", "Julian date in days (float), in the epoch's own time scale.").c_str())
        .def("day_of_year", &day_of_year,
             doc_sig("day_of_year($self)", "Day of the year: 1 for January 1, and for a date that does not exist.")
                 .c_str())
        .def("__str__", [](const Epoch& e) { return iso_text(e); })
        .def("__repr__", [](const Epoch& e) { return "Epoch(" + iso_text(e) + ")"; });
}

}  // namespace skyrift
