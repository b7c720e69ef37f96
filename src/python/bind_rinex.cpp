// RinexObsData, SnrSeries, read_rinex_obs, read_rinex_obs_bytes.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "rinex/obs_reader.hpp"
#include "utils/coordinates.hpp"
#include "utils/text.hpp"

namespace skyrift {

namespace {

using ObsHandle = std::shared_ptr<RinexObsData>;

Satellite satellite_or_raise(const std::string& text) {
    const auto sat = parse_satellite_id(text);
    if (!sat) raise_value_error("Invalid satellite id '" + text + "'");
    return *sat;
}

Satellite satellite_or_raise(py::handle arg) { return satellite_or_raise(arg_str(arg, "satellite")); }

std::optional<ObservationCode> snr_code_or_raise(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    const auto code = parse_observation_code(ascii_uppercase(*text));
    if (!code || code->kind != ObservationKind::S) raise_value_error("'" + *text + "' is not an S-code");
    return code;
}

py::list code_texts(const std::vector<ObservationCode>& codes) {
    py::list out;
    for (const ObservationCode& c : codes) out.append(c.text());
    return out;
}

std::string obs_repr(const RinexObsData& d) {
    return "RinexObsData(version=" + d.header.version.text() + ", marker='" + d.header.marker_name +
           "', epochs=" + std::to_string(d.epochs.size()) + ", sats=" + std::to_string(d.distinct_satellites().size()) +
           ")";
}

py::dict satellites_by_system(const RinexObsData& d) {
    std::array<std::size_t, kNumSystems> counts{};
    for (const Satellite& s : d.distinct_satellites()) ++counts[static_cast<std::size_t>(s.system)];
    py::dict out;
    for (int s = 0; s < kNumSystems; ++s)
        if (counts[s]) out[py::str(std::string(1, system_letter(static_cast<GnssSystem>(s))))] = counts[s];
    return out;
}

// Reads with the interpreter lock released; `read(damage)` runs on plain C++ values
// only. A partial read passes `damage` and keeps its failure as the data's damage, in
// the words the whole read would raise it with.
template <typename Read>
ObsHandle read_released(Failure where, bool partial, Read&& read) {
    std::optional<GnssError> damage;
    auto data = std::make_shared<RinexObsData>(call_released(where, [&] { return read(partial ? &damage : nullptr); }));
    if (damage) data->damage = error_message(*damage, where);
    return data;
}

}  // namespace

void register_rinex_obs_data(py::module_& m) {
    py::class_<RinexObsData, ObsHandle>(m, "RinexObsData", "Python-exposed RINEX observation data")
        .def_property_readonly("version", [](const RinexObsData& d) { return d.header.version.text(); },
                               "RINEX format version as written in the header, e.g. \"3.04\"")
        .def_property_readonly("marker_name", [](const RinexObsData& d) { return d.header.marker_name; },
                               "MARKER NAME of the header (the station), empty when absent")
        .def_property_readonly("receiver_type", [](const RinexObsData& d) { return d.header.receiver_type; },
                               "Receiver type from REC # / TYPE / VERS, empty when absent")
        .def_property_readonly("antenna_type", [](const RinexObsData& d) { return d.header.antenna_type; },
                               "Antenna type from ANT # / TYPE, empty when absent")
        .def_property_readonly("approx_position",
                               [](const RinexObsData& d) -> py::object {
                                   const auto& p = d.header.approx_position;
                                   if (!p) return py::none();
                                   return py::cast(Ecef{(*p)[0], (*p)[1], (*p)[2]});
                               },
                               "APPROX POSITION XYZ of the header as an Ecef (metres), or None")
        .def_property_readonly("interval", [](const RinexObsData& d) { return d.interval(); },
                               "Seconds between the first two epoch records (float, with the rounding of\n"
                               "Julian-date arithmetic); with fewer records the header's INTERVAL, or None")
        .def_property_readonly("header_interval", [](const RinexObsData& d) { return d.header.interval; },
                               "The header's INTERVAL in seconds, or None when it has none")
        .def_property_readonly("damage", [](const RinexObsData& d) { return d.damage; },
                               "Why a partial read stopped early (the error a whole read raises), or None")
        .def_property_readonly("num_epochs", [](const RinexObsData& d) { return d.epochs.size(); },
                               "Number of epoch records, repeated times included")
        .def_property_readonly("num_satellites", [](const RinexObsData& d) { return d.distinct_satellites().size(); },
                               "Number of distinct satellites over all epoch records")
        .def("satellites", [](const RinexObsData& d) { return d.distinct_satellites(); },
             doc_sig("satellites($self)", "").c_str())
        .def(
            "epochs",
            [](const RinexObsData& d) {
                py::list out;
                for (const EpochRecord& e : d.epochs) out.append(py::cast(e.epoch));
                return out;
            },
            doc_sig("epochs($self)", "").c_str())
        .def(
            "first_epoch",
            [](const RinexObsData& d) -> py::object { return d.epochs.empty() ? py::none() : py::cast(d.epochs.front().epoch); },
            doc_sig("first_epoch($self)", "").c_str())
        .def(
            "last_epoch",
            [](const RinexObsData& d) -> py::object { return d.epochs.empty() ? py::none() : py::cast(d.epochs.back().epoch); },
            doc_sig("last_epoch($self)", "").c_str())
        .def(
            "observation_types",
            [](const RinexObsData& d, py::handle system) {
                const auto sys = system_from_text(arg_str(system, "system")).value_or(GnssSystem::GPS);
                return code_texts(d.codes_of_system(sys));
            },
            py::arg("system"), doc_sig("observation_types($self, system)", "").c_str())
        .def(
            "glonass_fcn",
            [](const RinexObsData& d) {
                py::dict out;
                for (const auto& [prn, channel] : d.header.glonass_slots) out[py::int_(prn)] = py::int_(channel);
                return out;
            },
            doc_sig("glonass_fcn($self)", "").c_str())
        .def("satellites_by_system", &satellites_by_system, doc_sig("satellites_by_system($self)", "").c_str())
        .def(
            "snr_codes",
            [](const RinexObsData& d, py::handle satellite) {
                return code_texts(d.codes_of_satellite(satellite_or_raise(satellite), ObservationKind::S));
            },
            py::arg("satellite"),
            doc_sig("snr_codes($self, satellite)", "S-codes with data for a satellite (e.g. [\"S1C\", \"S2W\"])").c_str())
        .def(
            "get_snr_series",
            [](const RinexObsData& d, py::handle satellite, py::handle code) {
                // Both arguments are converted before either is checked.
                const std::string sat_text = arg_str(satellite, "satellite");
                std::optional<std::string> code_text;
                if (!is_absent(code)) code_text = arg_str(code, "code");
                const Satellite sat = satellite_or_raise(sat_text);
                return d.snr_series(sat, snr_code_or_raise(code_text));
            },
            py::arg("satellite"), py::arg("code") = py::none(),
            doc_sig("get_snr_series($self, satellite, code=None)",
                    "SNR time series for one satellite: one SnrSeries per S-code, or only\n"
                    "the requested code. Times are unix seconds in the file's time scale.")
                .c_str())
        .def("__repr__", &obs_repr);
}

void register_snr_series(py::module_& m) {
    py::class_<SnrSeries>(m, "SnrSeries", "SNR time series for one satellite and one S-code")
        .def_property_readonly("satellite", [](const SnrSeries& s) { return s.satellite.id(); },
                               "Satellite identifier, e.g. G01")
        .def_property_readonly("code", [](const SnrSeries& s) { return s.code.text(); }, "The S-code, e.g. S1C")
        .def_property_readonly("times", [](const SnrSeries& s) { return s.times; }, "Unix seconds (file time scale)")
        .def_property_readonly("values", [](const SnrSeries& s) { return s.values; }, "SNR values (dB-Hz)")
        .def_property_readonly("system", [](const SnrSeries& s) { return std::string(1, system_letter(s.satellite.system)); },
                               "The satellite's one-letter system code, e.g. G")
        .def(
            "epochs_iso",
            [](const SnrSeries& s) {
                py::list out;
                for (double t : s.times) out.append(iso_text_from_unix_seconds(t).value_or(""));
                return out;
            },
            doc_sig("epochs_iso($self)", "Epochs as ISO 8601 strings (computed on demand)").c_str())
        .def("__repr__", [](const SnrSeries& s) {
            return "SnrSeries(satellite='" + s.satellite.id() + "', code='" + s.code.text() +
                   "', points=" + std::to_string(s.times.size()) + ")";
        });
}

void register_rinex_readers(py::module_& m) {
    m.def(
        "read_rinex_obs",
        [](py::handle path_arg, py::handle partial_arg) {
            const std::string path = arg_path(path_arg, "path");
            const bool partial = arg_bool(partial_arg, "partial");
            return read_released(Failure::ReadRinex, partial,
                                 [&](std::optional<GnssError>* damage) { return read_observation_file(path, damage); });
        },
        py::arg("path"), py::kw_only(), py::arg("partial") = false,
        doc_sig("read_rinex_obs(path, *, partial=False)", "Read RINEX observation file").c_str());
    m.def(
        "read_rinex_obs_bytes",
        [](py::handle data_arg, py::handle filename_arg, py::handle partial_arg) {
            std::string data = arg_bytes(data_arg, "data");
            const std::string filename = arg_path(filename_arg, "filename");
            const bool partial = arg_bool(partial_arg, "partial");
            // Parsed in memory: the name only chooses the decoder, it never becomes a path.
            return read_released(Failure::ParseRinex, partial, [&](std::optional<GnssError>* damage) {
                return read_observation_bytes(std::move(data), filename, damage);
            });
        },
        py::arg("data"), py::arg("filename"), py::kw_only(), py::arg("partial") = false,
        doc_sig("read_rinex_obs_bytes(data, filename, *, partial=False)", "Read RINEX observation from bytes").c_str());
}

}  // namespace skyrift
