// ReflectorHeights, reflector_heights, reflector_heights_from_snr.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "python/support/columns.hpp"
#include "python/support/orbit_arg.hpp"

#include <pybind11/numpy.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "analysis/reflector/reflector_daily.hpp"
#include "analysis/reflector/reflector_heights.hpp"
#include "analysis/reflector/reflector_inputs.hpp"
#include "rinex/obs_data.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

namespace {

using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Int64Array = py::array_t<int64_t, py::array::c_style | py::array::forcecast>;

constexpr const char* kReflectorDoc =
    "Reflector heights (m) of a horizontal reflector below the antenna, one per accepted rising\n"
    "or setting satellite arc, from the Lomb-Scargle periodogram of detrended SNR against\n"
    "sin(elevation) (RH = f * wavelength / 2).\n\n"
    "Options (keywords, defaults in brackets):\n"
    "  min_elevation, max_elevation [5, 25]: periodogram window, degrees\n"
    "  fit_min_elevation, fit_max_elevation [5, 30]: window of the direct-signal polynomial\n"
    "  polynomial_order [4]: polynomial in elevation removed from the linear SNR 10**(dB/20)\n"
    "  min_height, max_height, height_step [0.5, 8, 0.005]: periodogram heights, metres;\n"
    "    the peak is refined between grid heights on the exact periodogram\n"
    "  noise_min_height, noise_max_height [the height range]: where the noise level (mean\n"
    "    periodogram amplitude) is taken\n"
    "  min_peak_to_noise [2.8], min_amplitude [5.0, or a dict of S-code or band to value]\n"
    "  elevation_margin [2]: an arc must reach within this of both window edges, degrees\n"
    "  max_arc_seconds [4500], max_gap_seconds [600]: longest arc, gap that splits arcs\n"
    "  min_points [20]: fewest samples in the periodogram window\n"
    "  azimuth_windows [every azimuth]: list of (from, to) degrees; from > to wraps through north\n"
    "  refraction [False]: apply Bennett's refraction to the elevations, with pressure (hPa)\n"
    "    and temperature (C) as given, else those of the standard atmosphere at the station's\n"
    "    height (station_height, metres)\n"
    "  include_beidou_geo_igso [False]: BeiDou GEO and IGSO satellites give no usable arcs\n"
    "  glonass_channels [file header, then the default slot table]: dict of slot to channel\n";

// --- options -------------------------------------------------------------------------

struct CallOptions {
    ReflectorOptions core;
    TrackSelection selection;
    std::optional<double> pressure, temperature, station_height;
    std::vector<ObservationCode> signals;
};

ObservationCode signal_or_raise(const std::string& text, const char* name) {
    const auto code = parse_snr_signal(text);
    if (!code) {
        raise_value_error(std::string(name) + ": '" + text +
                                       "' is not an SNR signal (an S-code such as S1C, or a band such as S1)");
    }
    return *code;
}

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
    if (!PyDict_Check(h.ptr())) py_args::raise_argument_error("glonass_channels", "expected a dict of slot to channel");
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

CallOptions parse_options(const py::kwargs& kwargs, const char* function, bool from_observations) {
    CallOptions o;
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
            raise_py(PyExc_TypeError, std::string(function) + "() got an unexpected keyword argument '" + key + "'");
        }
    }
    if (!noise_min) c.noise_min_height = c.min_height;
    if (!noise_max) c.noise_max_height = c.max_height;
    o.selection.keep_min_elevation = c.fit_min_elevation - 1.0;  // refraction lifts by well under a degree here
    o.selection.keep_max_elevation = c.fit_max_elevation + 1.0;
    return o;
}

// Pressure and temperature: as given, else the standard atmosphere at the station.
void settle_atmosphere(CallOptions& o, double station_height) {
    const Atmosphere standard = standard_atmosphere(o.station_height.value_or(station_height));
    o.core.atmosphere.pressure_hpa = o.pressure.value_or(standard.pressure_hpa);
    o.core.atmosphere.temperature_c = o.temperature.value_or(standard.temperature_c);
}

// --- results -------------------------------------------------------------------------

struct PyReflectorHeights {
    std::shared_ptr<const ReflectorOutput> output;
    bool datetime_times = false;  // times are unix seconds shown as datetime64[ms]
};

template <typename T>
py::array_t<T> numpy_column(std::size_t n, auto&& value_of) {
    py::array_t<T> out(static_cast<py::ssize_t>(n));
    T* data = out.mutable_data();
    for (std::size_t i = 0; i < n; ++i) data[i] = value_of(i);
    return out;
}

// Fixed-width numpy unicode column ('<U{width}'), filled without a Python object per row.
py::array text_column(std::size_t n, auto&& text_of) {
    std::size_t width = 1;
    for (std::size_t i = 0; i < n; ++i) width = std::max(width, std::string(text_of(i)).size());
    std::vector<char32_t> buffer(n * width, U'\0');
    for (std::size_t i = 0; i < n; ++i) {
        const std::string t(text_of(i));
        for (std::size_t j = 0; j < t.size(); ++j) buffer[i * width + j] = static_cast<unsigned char>(t[j]);
    }
    py::array out = py::module_::import("numpy").attr("empty")(n, "<U" + std::to_string(width));
    if (n) std::memcpy(out.mutable_data(), buffer.data(), buffer.size() * sizeof(char32_t));
    return out;
}

py::object time_column(const std::vector<double>& seconds, bool datetime_times) {
    if (!datetime_times) return numpy_column<double>(seconds.size(), [&](std::size_t i) { return seconds[i]; });
    auto ms = numpy_column<int64_t>(seconds.size(), [&](std::size_t i) {
        return static_cast<int64_t>(std::llround(seconds[i] * 1000.0));
    });
    return ms.attr("view")("datetime64[ms]");
}

py::dict arc_columns(const std::vector<ReflectorArc>& arcs, bool datetime_times, bool with_reason) {
    const std::size_t n = arcs.size();
    auto column = [&](auto member) {
        return numpy_column<double>(n, [&](std::size_t i) { return static_cast<double>(arcs[i].*member); });
    };
    std::vector<double> times(n);
    for (std::size_t i = 0; i < n; ++i) times[i] = arcs[i].time;
    py::dict d;
    d["satellite"] = text_column(n, [&](std::size_t i) { return arcs[i].satellite.id(); });
    d["signal"] = text_column(n, [&](std::size_t i) { return arcs[i].signal; });
    d["rising"] = numpy_column<bool>(n, [&](std::size_t i) { return arcs[i].rising; });
    d["time"] = time_column(times, datetime_times);
    d["azimuth"] = column(&ReflectorArc::azimuth);
    d["min_elevation"] = column(&ReflectorArc::min_elevation);
    d["max_elevation"] = column(&ReflectorArc::max_elevation);
    d["height"] = column(&ReflectorArc::height);
    d["amplitude"] = column(&ReflectorArc::amplitude);
    d["peak_to_noise"] = column(&ReflectorArc::peak_to_noise);
    d["points"] = numpy_column<int64_t>(n, [&](std::size_t i) { return static_cast<int64_t>(arcs[i].points); });
    d["duration"] = column(&ReflectorArc::duration);
    d["wavelength"] = column(&ReflectorArc::wavelength);
    if (with_reason) d["reason"] = text_column(n, [&](std::size_t i) { return reject_reason_text(arcs[i].reason); });
    return d;
}

py::dict daily(const PyReflectorHeights& self, py::handle median_filter_arg, py::handle min_tracks_arg) {
    const double median_filter = arg_float(median_filter_arg, "median_filter");
    const auto min_tracks = arg_int<std::size_t>(min_tracks_arg, "min_tracks");
    if (!(median_filter >= 0.0)) raise_value_error("median_filter must be a non-negative number of metres");
    const auto& arcs = self.output->accepted;
    std::vector<double> t(arcs.size()), h(arcs.size());
    for (std::size_t i = 0; i < arcs.size(); ++i) t[i] = arcs[i].time, h[i] = arcs[i].height;
    const std::vector<DailyHeight> days = daily_heights(t, h, median_filter, min_tracks);
    const std::size_t n = days.size();
    py::dict d;
    auto day_numbers = numpy_column<int64_t>(n, [&](std::size_t i) { return days[i].day; });
    d["day"] = self.datetime_times ? day_numbers.attr("view")("datetime64[D]") : py::object(day_numbers);
    d["mean"] = numpy_column<double>(n, [&](std::size_t i) { return days[i].mean; });
    d["median"] = numpy_column<double>(n, [&](std::size_t i) { return days[i].median; });
    d["std"] = numpy_column<double>(n, [&](std::size_t i) { return days[i].std; });
    d["count"] = numpy_column<int64_t>(n, [&](std::size_t i) { return static_cast<int64_t>(days[i].count); });
    return d;
}

py::tuple periodogram(const PyReflectorHeights& self, py::handle index_arg, py::handle rejected_arg) {
    const bool rejected = !is_absent(rejected_arg) && arg_bool(rejected_arg, "rejected");
    const auto& arcs = rejected ? self.output->rejected : self.output->accepted;
    const int64_t i = arg_int<int64_t>(index_arg, "i");
    const int64_t n = static_cast<int64_t>(arcs.size());
    if (i < -n || i >= n)
        raise_py(PyExc_IndexError, "arc index " + std::to_string(i) + " out of range for " + std::to_string(n) + " arcs");
    const ReflectorArc& arc = arcs[static_cast<std::size_t>(i < 0 ? i + n : i)];
    if (arc.periodogram.empty()) {
        raise_value_error("arc " + std::to_string(i) + " has no periodogram: it was rejected before (" +
                                       std::string(reject_reason_text(arc.reason)) + ")");
    }
    const FrequencyGrid& grid = self.output->heights;
    auto heights = numpy_column<double>(grid.count, [&](std::size_t k) { return grid.at(k); });
    auto amplitudes = numpy_column<double>(arc.periodogram.size(), [&](std::size_t k) { return double(arc.periodogram[k]); });
    return py::make_tuple(heights, amplitudes);
}

py::object to_pandas(const PyReflectorHeights& self, py::handle rejected_arg) {
    const bool rejected = !is_absent(rejected_arg) && arg_bool(rejected_arg, "rejected");
    const py::module_ pandas = import_extra("pandas", "ReflectorHeights.to_pandas()");
    return pandas.attr("DataFrame")(
        arc_columns(rejected ? self.output->rejected : self.output->accepted, self.datetime_times, rejected));
}

std::string heights_repr(const PyReflectorHeights& self) {
    return "ReflectorHeights(arcs=" + std::to_string(self.output->accepted.size()) +
           ", rejected=" + std::to_string(self.output->rejected.size()) + ")";
}

// --- computation ---------------------------------------------------------------------

PyReflectorHeights run_released(std::vector<ReflectorTrack>&& tracks, const ReflectorOptions& options, bool datetimes) {
    ReflectorOutput output = call_released([&] { return reflector_heights(tracks, options); });
    return {std::make_shared<const ReflectorOutput>(std::move(output)), datetimes};
}

void check_options(const ReflectorOptions& options) {
    if (auto ok = validate(options); !ok) raise_error(ok.error(), Failure::Value);
}

Ecef receiver_or_raise(const RinexObsData& obs, py::handle receiver_arg) {
    if (!is_absent(receiver_arg)) return arg_instance<Ecef>(receiver_arg, "receiver");
    const auto& p = obs.header.approx_position;
    if (!p || ((*p)[0] == 0.0 && (*p)[1] == 0.0 && (*p)[2] == 0.0)) {
        raise_value_error(
            "reflector_heights needs the receiver position: the file has no APPROX POSITION XYZ, "
            "pass receiver=Ecef(x, y, z)");
    }
    return {(*p)[0], (*p)[1], (*p)[2]};
}

PyReflectorHeights heights_from_observations(py::handle obs_arg, py::handle orbit_arg, py::handle receiver_arg,
                                             const py::kwargs& kwargs) {
    const std::shared_ptr<RinexObsData> obs = arg_shared<RinexObsData>(obs_arg, "obs");
    const SharedOrbit orbit = arg_orbit(orbit_arg, "orbit");
    const Ecef receiver = receiver_or_raise(*obs, receiver_arg);
    CallOptions o = parse_options(kwargs, "reflector_heights", true);
    settle_atmosphere(o, to_geodetic(receiver).height);
    check_options(o.core);
    std::vector<ReflectorTrack> tracks =
        call_released([&] { return tracks_from_observations(*obs, orbit.source(), receiver, o.signals, o.selection); });
    return run_released(std::move(tracks), o.core, true);
}

// A 1-D float64 view of an array-like (converted by numpy once when it is not one already).
DoubleArray float_column(py::handle h, const char* name) {
    auto a = DoubleArray::ensure(h);
    if (!a) {
        PyErr_Clear();
        py_args::raise_argument_error(name, "expected an array of numbers");
    }
    if (a.ndim() != 1) raise_value_error(std::string(name) + " must be one-dimensional");
    return a;
}

// Satellites as distinct values plus an index per sample, through numpy.unique so that no
// Python object is made per sample. Integers follow the SNR file numbering (GPS 1-99,
// GLONASS +100, Galileo +200, BeiDou +300); strings are identifiers such as "G01".
std::pair<std::vector<Satellite>, Int64Array> satellite_column(py::handle h) {
    const py::module_ np = py::module_::import("numpy");
    py::array values = np.attr("asarray")(h);
    if (values.ndim() != 1) raise_value_error("satellites must be one-dimensional");
    py::tuple unique;
    try {
        unique = np.attr("unique")(values, py::arg("return_inverse") = true);
    } catch (py::error_already_set& e) {
        py_args::raise_argument_error("satellites", "cannot sort the satellite values: " + std::string(py::str(e.value())));
    }
    const py::array distinct = unique[0];
    const char kind = distinct.dtype().kind();
    std::vector<Satellite> satellites;
    for (py::handle item : distinct) {
        std::optional<Satellite> sat;
        std::string shown;
        if (kind == 'i' || kind == 'u') {
            const int64_t number = item.cast<int64_t>();
            sat = satellite_from_snr_number(number);
            shown = std::to_string(number);
        } else if (kind == 'U' || kind == 'O') {
            if (!PyUnicode_Check(item.ptr())) py_args::raise_argument_error("satellites", "expected identifiers (str) or SNR satellite numbers (int)");
            shown = arg_str(item, "satellites");
            sat = parse_satellite_id(shown);
        } else {
            py_args::raise_argument_error("satellites", "expected identifiers (str) or SNR satellite numbers (int)");
        }
        if (!sat) raise_value_error("satellites: '" + shown + "' is not a satellite");
        satellites.push_back(*sat);
    }
    return {std::move(satellites), Int64Array::ensure(np.attr("ravel")(unique[1]))};
}

PyReflectorHeights heights_from_snr(py::handle satellites_arg, py::handle times_arg, py::handle elevations_arg,
                                    py::handle azimuths_arg, py::handle snr_arg, py::handle signal_arg,
                                    const py::kwargs& kwargs) {
    const std::string signal_name = arg_str(signal_arg, "signal");
    const ObservationCode signal = signal_or_raise(signal_name, "signal");
    auto [satellites, index] = satellite_column(satellites_arg);
    const py::module_ np = py::module_::import("numpy");
    const py::array raw_times = np.attr("asarray")(times_arg);
    const bool datetimes = raw_times.dtype().kind() == 'M';
    DoubleArray times;
    if (datetimes) {
        // NaT becomes NaN and drops the sample.
        py::array ms = raw_times.attr("astype")("datetime64[ms]");
        py::array as_float = ms.attr("astype")("float64");
        as_float.attr("__setitem__")(np.attr("isnat")(ms), std::nan(""));
        times = float_column(np.attr("divide")(as_float, 1000.0), "times");
    } else {
        times = float_column(raw_times, "times");
    }
    const DoubleArray elevations = float_column(elevations_arg, "elevations");
    const DoubleArray azimuths = float_column(azimuths_arg, "azimuths");
    const DoubleArray snr = float_column(snr_arg, "snr");
    CallOptions o = parse_options(kwargs, "reflector_heights_from_snr", false);
    settle_atmosphere(o, 0.0);
    check_options(o.core);
    auto span_of = [](const auto& a) { return std::span(a.data(), static_cast<std::size_t>(a.size())); };
    const SnrColumns columns{satellites, span_of(index), span_of(times), span_of(elevations), span_of(azimuths),
                             span_of(snr)};
    std::vector<ReflectorTrack> tracks =
        call_released([&] { return tracks_from_columns(columns, signal, signal_name, o.selection); });
    return run_released(std::move(tracks), o.core, datetimes);
}

}  // namespace

void register_reflector(py::module_& m) {
    py::class_<PyReflectorHeights>(m, "ReflectorHeights", "Reflector heights per satellite arc")
        .def_property_readonly(
            "arcs", [](const PyReflectorHeights& s) { return arc_columns(s.output->accepted, s.datetime_times, false); },
            "Accepted arcs: a dict of numpy columns (satellite, signal, rising, time of the arc's middle, azimuth, "
            "min/max elevation, height, amplitude, peak_to_noise, points, duration in seconds, wavelength)")
        .def_property_readonly(
            "rejected", [](const PyReflectorHeights& s) { return arc_columns(s.output->rejected, s.datetime_times, true); },
            "Rejected arcs: the columns of `arcs` and the reason; heights are NaN where no periodogram was computed")
        .def("to_pandas", &to_pandas, py::arg("rejected") = false,
             doc_sig("to_pandas($self, rejected=False)", "The accepted (or rejected) arcs as a pandas DataFrame.").c_str())
        .def("daily", &daily, py::arg("median_filter") = 0.25, py::arg("min_tracks") = 10,
             doc_sig("daily($self, median_filter=0.25, min_tracks=10)",
                     "Daily reflector height: per day, the accepted heights within median_filter metres of the "
                     "day's median, their mean, median, standard deviation (n-1) and count; days with fewer than "
                     "min_tracks such heights are left out. A dict of numpy columns.")
                 .c_str())
        .def("periodogram", &periodogram, py::arg("i"), py::arg("rejected") = false,
             doc_sig("periodogram($self, i, rejected=False)",
                     "(heights, amplitudes) of arc i's periodogram, for plotting.")
                 .c_str())
        .def("__repr__", &heights_repr);

    m.def("reflector_heights", &heights_from_observations, py::arg("obs"), py::arg("orbit"),
          py::arg("receiver") = py::none(),
          doc_sig("reflector_heights(obs, orbit, receiver=None, **options)",
                  std::string(kReflectorDoc) +
                      "  signals [every S-code with a known wavelength]: S-codes (S1C) or bands (S1)\n\n"
                      "Look angles come from the orbit (an Sp3Data, a NavData, or a tuple of one of each: SP3 "
                      "first, the broadcast ephemerides for what it lacks) for the receiver (an Ecef; the file's "
                      "approximate position when None).")
              .c_str());
    m.def("reflector_heights_from_snr", &heights_from_snr, py::arg("satellites"), py::arg("times"),
          py::arg("elevations"), py::arg("azimuths"), py::arg("snr"), py::arg("signal"),
          doc_sig("reflector_heights_from_snr(satellites, times, elevations, azimuths, snr, signal, **options)",
                  std::string(kReflectorDoc) +
                      "\nColumns of equal length: satellites as identifiers (\"G01\") or SNR-file numbers (GPS 1-99, "
                      "GLONASS 101-199, Galileo 201-299, BeiDou 301-399); times in seconds or datetime64; elevations "
                      "and azimuths in degrees; snr in dB-Hz (0 or NaN: missing). signal names the S-code of the "
                      "snr column (S1C, or S1), which gives each satellite's wavelength.")
              .c_str());
}

}  // namespace skyrift
