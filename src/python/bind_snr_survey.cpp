// The per-satellite SNR survey, analyze_snr_wavelets.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "python/support/snr_convert.hpp"

#include "analysis/snr/snr_survey.hpp"
#include "rinex/obs_data.hpp"

namespace skyrift {

namespace {

py::object sizes_out(const std::vector<std::size_t>& values, bool as_numpy) {
    if (as_numpy) {
        py::array_t<int64_t> out(static_cast<py::ssize_t>(values.size()));
        std::copy(values.begin(), values.end(), out.mutable_data());
        return out;
    }
    py::list out(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) out[i] = py::int_(values[i]);
    return out;
}

py::dict residual_dict(const SatelliteSurvey& s, bool as_numpy) {
    py::dict d;
    d["code"] = s.code;
    d["t0"] = s.t0;
    d["t"] = floats_out(s.t, as_numpy);
    d["v"] = floats_out(s.v, as_numpy);
    d["orders"] = sizes_out(s.orders, as_numpy);
    return d;
}

py::dict analyze_snr_wavelets(py::handle obs_arg, py::handle satellites_arg, py::handle interval_arg,
                              py::handle bands_arg, py::handle as_numpy_arg) {
    const std::shared_ptr<const RinexObsData> obs = arg_shared<RinexObsData>(obs_arg, "obs");
    const std::optional<std::vector<std::string>> ids =
        is_absent(satellites_arg) ? std::nullopt : std::optional(arg_str_list(satellites_arg, "satellites"));
    const std::optional<double> given_interval =
        is_absent(interval_arg) ? std::nullopt : std::optional(arg_float(interval_arg, "interval"));
    const std::optional<std::vector<PeriodBand>> given_bands =
        is_absent(bands_arg) ? std::nullopt : std::optional(arg_bands(bands_arg, "bands"));
    const bool as_numpy = arg_as_numpy(as_numpy_arg);
    std::optional<std::vector<Satellite>> satellites;
    if (ids) {
        satellites.emplace();
        for (const std::string& id : *ids) {
            const std::optional<Satellite> sat = parse_satellite_id(id);
            if (!sat) raise_value_error("Invalid satellite id '" + id + "'");
            satellites->push_back(*sat);
        }
    }

    SurveySettings settings;
    settings.interval = given_interval ? *given_interval : obs->interval().value_or(30.0);
    settings.bands = given_bands ? *given_bands : period_bands(settings.interval);
    const std::vector<SatelliteSurvey> surveys = call_released([&] { return survey_snr(*obs, satellites, settings); });
    py::dict residuals, band_power;
    for (const SatelliteSurvey& s : surveys) {
        residuals[py::str(s.sat)] = residual_dict(s, as_numpy);
        if (s.bp_t.empty()) continue;
        py::dict bp;
        bp["t"] = floats_out(s.bp_t, as_numpy);
        bp["power"] = rows_out(s.bp_power, s.bp_t.size(), as_numpy);
        band_power[py::str(s.sat)] = bp;
    }
    py::list bands;
    for (const auto& [lo, hi] : settings.bands) bands.append(float_list({lo, hi}));
    py::dict out;
    out["bands"] = bands;
    out["interval"] = settings.interval;
    out["residuals"] = residuals;
    out["band_power"] = band_power;
    return out;
}

}  // namespace

void register_snr_survey(py::module_& m) {
    m.def("analyze_snr_wavelets", &analyze_snr_wavelets, py::arg("obs"), py::arg("satellites") = py::none(),
          py::arg("interval") = py::none(), py::arg("bands") = py::none(), py::arg("as_numpy") = false,
          doc_sig("analyze_snr_wavelets(obs, satellites=None, interval=None, bands=None, as_numpy=False)",
                  "\u03b4SNR residuals and band power per satellite, computed in parallel.\n"
                  "Returns {\"bands\", \"interval\", \"residuals\": {sat: {code, t0, t, v, orders}},\n"
                  "\"band_power\": {sat: {t, power}}}.")
              .c_str());
}

}  // namespace skyrift
