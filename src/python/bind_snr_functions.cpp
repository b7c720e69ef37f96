// The SNR functions: wavelets, band power, detrending, arcs, Fresnel zones and
// scalograms.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "python/support/snr_convert.hpp"

#include "analysis/snr/band_power.hpp"
#include "analysis/snr/detrend.hpp"
#include "analysis/reflector/fresnel.hpp"
#include "analysis/snr/gap_arcs.hpp"
#include "analysis/snr/morlet.hpp"
#include "analysis/snr/scalogram.hpp"

namespace skyrift {

namespace {

Track arg_track(py::handle item, const char* name) {
    if (PyUnicode_Check(item.ptr()) || !PySequence_Check(item.ptr()) || PySequence_Size(item.ptr()) != 3) {
        PyErr_Clear();
        raise_argument_error(name, "a track is a (satellite, azimuths, elevations) tuple");
    }
    const py::sequence fields = py::reinterpret_borrow<py::sequence>(item);
    return {arg_str(fields[0], name), arg_float_list(fields[1], name), arg_float_list(fields[2], name)};
}

py::list band_tuples(const std::vector<PeriodBand>& bands) {
    py::list out;
    for (const auto& [lo, hi] : bands) out.append(py::make_tuple(lo, hi));
    return out;
}

double wavelength_or_l1(py::handle h) { return is_absent(h) ? kGpsL1Wavelength : arg_float(h, "wavelength"); }

py::dict footprint_dict(const Footprint& f) {
    py::dict d;
    d["sat"] = f.sat;
    d["az"] = f.az;
    d["el"] = f.el;
    d["a"] = f.zone.a;
    d["b"] = f.zone.b;
    d["dist"] = f.zone.dist;
    return d;
}

// The array form writes the power straight into the numpy buffer: no row copies.
py::dict morlet_cwt_arrays(const std::vector<double>& y, double dt, double dj, std::optional<double> s0) {
    const MorletScales sc = value_or_raise(morlet_scales(y.size(), dt, dj, s0));
    py::array_t<double> power(std::vector<py::ssize_t>{static_cast<py::ssize_t>(sc.scales.size()), static_cast<py::ssize_t>(y.size())});
    double* rows = power.mutable_data();
    call_released([&] { morlet_power_into(y, dt, sc.scales, rows); });
    py::dict out;
    out["power"] = power;
    out["scales"] = float_array(sc.scales);
    out["periods"] = float_array(sc.periods);
    out["coi"] = float_array(cone_of_influence(y.size(), dt));
    return out;
}

py::dict morlet_cwt(py::handle y_arg, py::handle dt_arg, py::handle dj_arg, py::handle s0_arg, py::handle as_numpy_arg) {
    const std::vector<double> y = arg_float_list(y_arg, "y");
    const double dt = arg_float(dt_arg, "dt");
    const double dj = arg_float(dj_arg, "dj");
    const std::optional<double> s0 = is_absent(s0_arg) ? std::nullopt : std::optional(arg_float(s0_arg, "s0"));
    if (arg_as_numpy(as_numpy_arg)) return morlet_cwt_arrays(y, dt, dj, s0);
    const WaveletTransform wt = call_released([&] { return morlet_transform(y, dt, dj, s0); });
    py::dict out;
    out["power"] = float_rows(wt.power);
    out["scales"] = float_list(wt.scales);
    out["periods"] = float_list(wt.periods);
    out["coi"] = float_list(wt.coi);
    return out;
}

py::object band_power_py(py::handle y_arg, py::handle dt_arg, py::handle bands_arg, py::handle dj_arg,
                         py::handle as_numpy_arg) {
    const std::vector<double> y = arg_float_list(y_arg, "y");
    const double dt = arg_float(dt_arg, "dt");
    const std::vector<PeriodBand> bands = arg_bands(bands_arg, "bands");
    const double dj = arg_float(dj_arg, "dj");
    const bool as_numpy = arg_as_numpy(as_numpy_arg);
    return rows_out(call_released([&] { return band_power(y, dt, dj, bands); }), y.size(), as_numpy);
}

py::object red_noise_significance_py(py::handle y_arg, py::handle dt_arg, py::handle periods_arg,
                                     py::handle confidence_arg, py::handle as_numpy_arg) {
    const std::vector<double> y = arg_float_list(y_arg, "y");
    const double dt = arg_float(dt_arg, "dt");
    const std::vector<double> periods = arg_float_list(periods_arg, "periods");
    const double confidence = arg_float(confidence_arg, "confidence");
    return floats_out(value_or_raise(red_noise_significance(y, dt, periods, confidence)), arg_as_numpy(as_numpy_arg));
}

py::tuple detrend_arc_py(py::handle t_arg, py::handle values_arg, py::handle max_order_arg, py::handle as_numpy_arg) {
    const std::vector<double> t = arg_float_list(t_arg, "t");
    const std::vector<double> values = arg_float_list(values_arg, "values");
    const std::size_t max_order = arg_int<uint64_t>(max_order_arg, "max_order");
    const bool as_numpy = arg_as_numpy(as_numpy_arg);
    const Detrended d = value_or_raise(detrend_arc(t, values, max_order));
    return py::make_tuple(floats_out(d.residual, as_numpy), d.order);
}

py::object split_arcs_py(py::handle times_arg, py::handle dt_arg, py::handle gap_factor_arg, py::handle as_numpy_arg) {
    const std::vector<double> times = arg_float_list(times_arg, "times");
    const double dt = arg_float(dt_arg, "dt");
    const double gap_factor = arg_float(gap_factor_arg, "gap_factor");
    const auto arcs = split_at_gaps(times, dt, gap_factor);
    if (arg_as_numpy(as_numpy_arg)) {
        py::array_t<int64_t> out(std::vector<py::ssize_t>{static_cast<py::ssize_t>(arcs.size()), py::ssize_t{2}});
        int64_t* at = out.mutable_data();
        for (const auto& [start, stop] : arcs) {
            *at++ = static_cast<int64_t>(start);
            *at++ = static_cast<int64_t>(stop);
        }
        return out;
    }
    py::list out;
    for (const auto& [start, stop] : arcs) out.append(py::make_tuple(start, stop));
    return out;
}

py::tuple fresnel_zone_py(py::handle elevation_arg, py::handle height_arg, py::handle wavelength_arg) {
    const double elevation = arg_float(elevation_arg, "elevation");
    const double height = arg_float(height_arg, "antenna_height");
    const FresnelZone z = fresnel_zone(elevation, height, wavelength_or_l1(wavelength_arg));
    return py::make_tuple(z.a, z.b, z.dist);
}

py::list fresnel_map_py(py::handle tracks_arg, py::handle height_arg, py::handle min_elevation_arg,
                        py::handle wavelength_arg) {
    const std::vector<Track> tracks = arg_sequence(tracks_arg, "tracks", arg_track);
    const double height = arg_float(height_arg, "antenna_height");
    const double min_elevation = arg_float(min_elevation_arg, "min_elevation");
    const double wavelength = wavelength_or_l1(wavelength_arg);
    py::list out;
    for (const Footprint& f : fresnel_map(tracks, height, min_elevation, wavelength)) out.append(footprint_dict(f));
    return out;
}

py::dict scalogram_py(py::handle t_arg, py::handle values_arg, py::handle interval_arg, py::handle max_columns_arg,
                      py::handle as_numpy_arg) {
    const std::vector<double> t = arg_float_list(t_arg, "t");
    const std::vector<double> values = arg_float_list(values_arg, "values");
    const double interval = arg_float(interval_arg, "interval");
    const std::size_t max_columns = arg_int<uint64_t>(max_columns_arg, "max_columns");
    const bool as_numpy = arg_as_numpy(as_numpy_arg);
    const Scalogram s = call_released([&] { return scalogram(t, values, interval, max_columns); });
    py::dict out;
    out["t"] = floats_out(s.t, as_numpy);
    out["periods"] = floats_out(s.periods, as_numpy);
    out["power"] = rows_out(s.power, s.t.size(), as_numpy);
    out["significance"] = floats_out(s.significance, as_numpy);
    out["coi"] = floats_out(s.coi, as_numpy);
    out["interval"] = s.interval;
    return out;
}

}  // namespace

void register_snr_functions(py::module_& m) {
    m.def("morlet_cwt", &morlet_cwt, py::arg("y"), py::arg("dt"), py::arg("dj") = 0.125, py::arg("s0") = py::none(),
          py::arg("as_numpy") = false,
          doc_sig("morlet_cwt(y, dt, dj=0.125, s0=None, as_numpy=False)",
                  "Morlet continuous wavelet transform (Torrence & Compo 1998).\n"
                  "Returns {\"power\", \"scales\", \"periods\", \"coi\"}; `power` has one row per scale.")
              .c_str());
    m.def("band_power", &band_power_py, py::arg("y"), py::arg("dt"), py::arg("bands"), py::arg("dj") = 0.125,
          py::arg("as_numpy") = false,
          doc_sig("band_power(y, dt, bands, dj=0.125, as_numpy=False)",
                  "Scale-averaged wavelet power of `y` for each `(lo, hi)` period band (s).")
              .c_str());
    m.def("red_noise_significance", &red_noise_significance_py, py::arg("y"), py::arg("dt"), py::arg("periods"),
          py::arg("confidence") = 0.95, py::arg("as_numpy") = false,
          doc_sig("red_noise_significance(y, dt, periods, confidence=0.95, as_numpy=False)",
                  "Red-noise significance level per period (T&C eq. 16-18).")
              .c_str());
    m.def(
        "period_bands", [](py::handle dt) { return band_tuples(period_bands(arg_float(dt, "dt"))); }, py::arg("dt"),
        doc_sig("period_bands(dt)", "Interval-adaptive period bands (s) for SNR band power.").c_str());
    m.def("detrend_arc", &detrend_arc_py, py::arg("t"), py::arg("values"), py::arg("max_order") = 9,
          py::arg("as_numpy") = false,
          doc_sig("detrend_arc(t, values, max_order=9, as_numpy=False)",
                  "Remove the best polynomial trend (order 2..max_order). Returns (residual, order).")
              .c_str());
    m.def("split_arcs", &split_arcs_py, py::arg("times"), py::arg("dt"), py::arg("gap_factor") = 5.0,
          py::arg("as_numpy") = false,
          doc_sig("split_arcs(times, dt, gap_factor=5.0, as_numpy=False)",
                  "Split increasing times into contiguous arcs at gaps > gap_factor\u00b7dt.\n"
                  "Returns (start, stop) index pairs.")
              .c_str());
    m.def("fresnel_zone", &fresnel_zone_py, py::arg("elevation"), py::arg("antenna_height"),
          py::arg("wavelength") = py::none(),
          doc_sig("fresnel_zone(elevation, antenna_height, wavelength=None)",
                  "First Fresnel zone (a, b, distance) in metres for a horizontal reflector\n"
                  "`antenna_height` below the antenna. Wavelength defaults to GPS L1.")
              .c_str());
    m.def("fresnel_map", &fresnel_map_py, py::arg("tracks"), py::arg("antenna_height"), py::arg("min_elevation") = 5.0,
          py::arg("wavelength") = py::none(),
          doc_sig("fresnel_map(tracks, antenna_height, min_elevation=5.0, wavelength=None)",
                  "Fresnel footprints along satellite tracks, one per 10\u00b0\u00d710\u00b0 az/el cell.\n"
                  "`tracks` is a list of (satellite, azimuths, elevations) in degrees.\n"
                  "Returns dicts with keys sat, az, el, a, b, dist.")
              .c_str());
    m.def("scalogram", &scalogram_py, py::arg("t"), py::arg("values"), py::arg("interval"), py::arg("max_columns") = 600,
          py::arg("as_numpy") = false,
          doc_sig("scalogram(t, values, interval, max_columns=600, as_numpy=False)",
                  "Wavelet scalogram of the longest arc: {\"t\", \"periods\", \"power\",\n"
                  "\"significance\", \"coi\", \"interval\"}. Needs at least 40 samples.")
              .c_str());
}

}  // namespace skyrift
