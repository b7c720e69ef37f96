#include "python/support/reflector_options.hpp"

#include <string>
#include <utility>

#include "analysis/reflector/reflector_signals.hpp"
#include "analysis/reflector/refraction.hpp"

namespace skyrift {

namespace {

std::vector<std::pair<double, double>> azimuth_windows(py::handle h) {
    return arg_sequence(h, "azimuth_windows", [](py::handle item, const char* name) {
        const std::vector<double> pair = arg_float_list(item, name);
        if (pair.size() != 2) raise_value_error("azimuth_windows: each window is a (from, to) pair of degrees");
        return std::pair{pair[0], pair[1]};
    });
}

AmplitudeRule amplitude_rule(py::handle h) {
    AmplitudeRule rule;
    if (!PyDict_Check(h.ptr())) {
        rule.fallback = arg_float(h, "min_amplitude");
        return rule;
    }
    for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(h)) {
        const std::string name = arg_str(key, "min_amplitude");
        rule.by_signal.emplace_back(signal_or_raise(name, "min_amplitude"), arg_float(value, "min_amplitude"));
    }
    return rule;
}

std::vector<std::pair<uint32_t, int8_t>> glonass_channels(py::handle h) {
    if (!PyDict_Check(h.ptr())) raise_argument_error("glonass_channels", "expected a dict of slot to channel");
    std::vector<std::pair<uint32_t, int8_t>> out;
    for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(h)) {
        uint32_t slot = 0;
        if (PyUnicode_Check(key.ptr())) {
            const std::string id = arg_str(key, "glonass_channels");
            const auto sat = parse_satellite_id(id);
            if (!sat || sat->system != GnssSystem::GLONASS)
                raise_value_error("glonass_channels: '" + id + "' is not a GLONASS satellite");
            slot = sat->prn;
        } else {
            slot = arg_int<uint32_t>(key, "glonass_channels");
        }
        const int channel = arg_int<int>(value, "glonass_channels");
        if (channel < -7 || channel > 13)
            raise_value_error("glonass_channels: channel " + std::to_string(channel) + " is outside -7..13");
        out.emplace_back(slot, static_cast<int8_t>(channel));
    }
    return out;
}

}  // namespace

ObservationCode signal_or_raise(const std::string& text, const char* name) {
    const auto code = parse_snr_signal(text);
    if (!code) {
        raise_value_error(std::string(name) + ": '" + text +
                          "' is not an SNR signal (an S-code such as S1C, or a band such as S1)");
    }
    return *code;
}

ReflectorCallOptions reflector_options(const py::kwargs& kwargs, const char* function, bool from_observations) {
    ReflectorCallOptions o;
    ReflectorOptions& c = o.core;
    bool noise_min = false, noise_max = false;
    for (const auto& [key_handle, value] : kwargs) {
        const std::string key = py::str(key_handle);
        const char* k = key.c_str();
        if (key == "min_elevation") c.min_elevation = arg_float(value, k);
        else if (key == "max_elevation") c.max_elevation = arg_float(value, k);
        else if (key == "fit_min_elevation") c.fit_min_elevation = arg_float(value, k);
        else if (key == "fit_max_elevation") c.fit_max_elevation = arg_float(value, k);
        else if (key == "polynomial_order") c.polynomial_order = arg_int<int>(value, k);
        else if (key == "min_height") c.min_height = arg_float(value, k);
        else if (key == "max_height") c.max_height = arg_float(value, k);
        else if (key == "height_step") c.height_step = arg_float(value, k);
        else if (key == "height_edge_margin") c.height_edge_margin = arg_float(value, k);
        else if (key == "noise_min_height") c.noise_min_height = arg_float(value, k), noise_min = true;
        else if (key == "noise_max_height") c.noise_max_height = arg_float(value, k), noise_max = true;
        else if (key == "min_peak_to_noise") c.min_peak_to_noise = arg_float(value, k);
        else if (key == "elevation_margin") c.elevation_margin = arg_float(value, k);
        else if (key == "max_arc_seconds") c.max_arc_seconds = arg_float(value, k);
        else if (key == "max_gap_seconds") c.max_gap_seconds = arg_float(value, k);
        else if (key == "min_points") c.min_points = arg_int<std::size_t>(value, k);
        else if (key == "azimuth_windows") c.azimuth_windows = is_absent(value) ? decltype(c.azimuth_windows){} : azimuth_windows(value);
        else if (key == "refraction") c.refraction = arg_bool(value, k);
        else if (key == "pressure") o.pressure = arg_float(value, k);
        else if (key == "temperature") o.temperature = arg_float(value, k);
        else if (key == "station_height") o.station_height = arg_float(value, k);
        else if (key == "min_amplitude") o.selection.min_amplitude = amplitude_rule(value);
        else if (key == "include_beidou_geo_igso") o.selection.include_beidou_geo_igso = arg_bool(value, k);
        else if (key == "glonass_channels") o.selection.glonass_channels = is_absent(value) ? decltype(o.selection.glonass_channels){} : glonass_channels(value);
        else if (key == "signals" && from_observations) {
            if (!is_absent(value))
                for (const std::string& s : arg_str_list(value, k)) o.signals.push_back(signal_or_raise(s, k));
        } else {
            raise_unexpected_keyword(function, key);
        }
    }
    if (!noise_min) c.noise_min_height = c.min_height;
    if (!noise_max) c.noise_max_height = c.max_height;
    o.selection.keep_min_elevation = c.fit_min_elevation - 1.0;  // refraction lifts by well under a degree here
    o.selection.keep_max_elevation = c.fit_max_elevation + 1.0;
    return o;
}

void settle_atmosphere(ReflectorCallOptions& o, double station_height) {
    const Atmosphere standard = standard_atmosphere(o.station_height.value_or(station_height));
    o.core.atmosphere.pressure_hpa = o.pressure.value_or(standard.pressure_hpa);
    o.core.atmosphere.temperature_c = o.temperature.value_or(standard.temperature_c);
}

}  // namespace skyrift
