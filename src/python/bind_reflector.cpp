// ReflectorHeights, reflector_heights, reflector_heights_from_snr.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "python/support/columns.hpp"
#include "python/support/orbit_arg.hpp"
#include "python/support/reflector_options.hpp"

#include <pybind11/numpy.h>

#include <cmath>
#include <memory>

#include "analysis/reflector/heights_from_inputs.hpp"
#include "analysis/reflector/reflector_daily.hpp"
#include "rinex/obs_data.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

namespace {

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
    "  height_edge_margin [0.1]: an arc whose peak lies less than this (metres) from\n"
    "    min_height or max_height is rejected (peak at height range edge), as gnssrefl does;\n"
    "    0 rejects only peaks on the first or last grid height\n"
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

// --- results -------------------------------------------------------------------------

struct PyReflectorHeights {
    std::shared_ptr<const ReflectorOutput> output;
    bool datetime_times = false;  // times are unix seconds shown as datetime64[ms]
    bool observation_times = false;  // times are an observation file's epochs (GPS time)
};

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
        raise_index_error("arc index " + std::to_string(i) + " out of range for " + std::to_string(n) + " arcs");
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
    py::object frame = pandas.attr("DataFrame")(
        arc_columns(rejected ? self.output->rejected : self.output->accepted, self.datetime_times, rejected));
    if (self.observation_times) label_gps_time(frame);
    return frame;
}

std::string heights_repr(const PyReflectorHeights& self) {
    return "ReflectorHeights(arcs=" + std::to_string(self.output->accepted.size()) +
           ", rejected=" + std::to_string(self.output->rejected.size()) + ")";
}

// --- computation ---------------------------------------------------------------------

PyReflectorHeights heights_of(ReflectorOutput&& output, bool datetime_times, bool observation_times = false) {
    return {std::make_shared<const ReflectorOutput>(std::move(output)), datetime_times, observation_times};
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

PyReflectorHeights reflector_heights_py(py::handle obs_arg, py::handle orbit_arg, py::handle receiver_arg,
                                        const py::kwargs& kwargs) {
    const std::shared_ptr<RinexObsData> obs = arg_shared<RinexObsData>(obs_arg, "obs");
    const SharedOrbit orbit = arg_orbit(orbit_arg, "orbit");
    const Ecef receiver = receiver_or_raise(*obs, receiver_arg);
    check_orbit_use(orbit, receiver, is_absent(receiver_arg) ? "the file's APPROX POSITION XYZ" : "receiver", *obs);
    ReflectorCallOptions o = reflector_options(kwargs, "reflector_heights", true);
    settle_atmosphere(o, to_geodetic(receiver).height);
    return heights_of(call_released([&] {
                          return heights_from_observations(*obs, orbit.source(), receiver, o.signals, o.selection, o.core);
                      }),
                      true, true);
}

PyReflectorHeights reflector_heights_from_snr_py(py::handle satellites_arg, py::handle times_arg,
                                                 py::handle elevations_arg, py::handle azimuths_arg, py::handle snr_arg,
                                                 py::handle signal_arg, const py::kwargs& kwargs) {
    const std::string signal_name = arg_str(signal_arg, "signal");
    const ObservationCode signal = signal_or_raise(signal_name, "signal");
    auto [satellites, index] = satellite_column(satellites_arg, "satellites");
    const py::module_ np = py::module_::import("numpy");
    const py::array raw_times = np.attr("asarray")(times_arg);
    const bool datetimes = raw_times.dtype().kind() == 'M';
    DoubleColumn times;
    if (datetimes) {
        // NaT becomes NaN and drops the sample.
        py::array ms = raw_times.attr("astype")("datetime64[ms]");
        py::array as_float = ms.attr("astype")("float64");
        as_float.attr("__setitem__")(np.attr("isnat")(ms), std::nan(""));
        times = float_column(np.attr("divide")(as_float, 1000.0), "times");
    } else {
        times = float_column(raw_times, "times");
    }
    const DoubleColumn elevations = float_column(elevations_arg, "elevations");
    const DoubleColumn azimuths = float_column(azimuths_arg, "azimuths");
    const DoubleColumn snr = float_column(snr_arg, "snr");
    ReflectorCallOptions o = reflector_options(kwargs, "reflector_heights_from_snr", false);
    settle_atmosphere(o, 0.0);
    auto span_of = [](const auto& a) { return std::span(a.data(), static_cast<std::size_t>(a.size())); };
    const SnrColumns columns{satellites, span_of(index), span_of(times), span_of(elevations), span_of(azimuths),
                             span_of(snr)};
    return heights_of(
        call_released([&] { return heights_from_columns(columns, signal, signal_name, o.selection, o.core); }),
        datetimes);
}

}  // namespace

void register_reflector(py::module_& m) {
    py::class_<PyReflectorHeights>(m, "ReflectorHeights", "Reflector heights per satellite arc")
        .def_property_readonly(
            "arcs", [](const PyReflectorHeights& s) { return arc_columns(s.output->accepted, s.datetime_times, false); },
            "Accepted arcs: a dict of numpy columns: satellite, signal (S-code), rising (bool), time of the arc's\n"
            "middle (datetime64[ms] in GPS time, the observations' time scale; float seconds when float times\n"
            "were given), azimuth, min_elevation and max_elevation (degrees), height (reflector height, metres),\n"
            "amplitude (periodogram peak, linear SNR units), peak_to_noise (ratio), points (samples in the\n"
            "window), duration (seconds) and wavelength (metres)")
        .def_property_readonly(
            "rejected", [](const PyReflectorHeights& s) { return arc_columns(s.output->rejected, s.datetime_times, true); },
            "Rejected arcs: the columns of `arcs` and the reason; heights are NaN where no periodogram was computed")
        .def("to_pandas", &to_pandas, py::arg("rejected") = false,
             doc_sig("to_pandas($self, rejected=False)",
                     "The accepted (or rejected) arcs as a pandas DataFrame. For arcs of an observation\n"
                     "file, attrs[\"time_scale\"] is \"GPS\": the times are its epochs, in GPS time.").c_str())
        .def("daily", &daily, py::arg("median_filter") = 0.25, py::arg("min_tracks") = 10,
             doc_sig("daily($self, median_filter=0.25, min_tracks=10)",
                     "Daily reflector height: per day, the accepted heights within median_filter metres of the "
                     "day's median, their mean, median, standard deviation (n-1) and count; days with fewer than "
                     "min_tracks such heights are left out. A dict of numpy columns.\n"
                     "Every accepted arc counts once whatever its signal, so a result of several signals gives "
                     "one value per day (the day of the arc's middle time). This is gnssrefl's daily_avg rule "
                     "(its medfilter and ReqTracks): the mean column is its daily average.")
                 .c_str())
        .def("periodogram", &periodogram, py::arg("i"), py::arg("rejected") = false,
             doc_sig("periodogram($self, i, rejected=False)",
                     "(heights in metres, amplitudes) of arc i's periodogram, for plotting.")
                 .c_str())
        .def("__repr__", &heights_repr);

    m.def("reflector_heights", &reflector_heights_py, py::arg("obs"), py::arg("orbit"),
          py::arg("receiver") = py::none(),
          doc_sig("reflector_heights(obs, orbit, receiver=None, **options)",
                  std::string(kReflectorDoc) +
                      "  signals [every S-code with a known wavelength]: S-codes (S1C) or bands (S1)\n\n"
                      "Look angles come from the orbit (an Sp3Data, a NavData, or a tuple of one of each: SP3 "
                      "first, the broadcast ephemerides for what it lacks) for the receiver (an Ecef; the file's "
                      "approximate position when None).")
              .c_str());
    m.def("reflector_heights_from_snr", &reflector_heights_from_snr_py, py::arg("satellites"), py::arg("times"),
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
