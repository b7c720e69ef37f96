// Array views of bulk data: AnalysisResults as columns (numpy, pandas) and
// RinexObsData as epoch × satellite grids (numpy, xarray).
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "python/support/columns.hpp"
#include "python/support/results_instance.hpp"

#include "analysis/multipath/result_columns.hpp"
#include "rinex/obs_grid.hpp"
#include "utils/text.hpp"

#include <algorithm>
#include <limits>

namespace skyrift {

namespace {

using ObsHandle = std::shared_ptr<RinexObsData>;

ColumnTable estimate_table(PyResults& self) {
    SharedBorrow borrow(self.flag);
    const auto& estimates = self.output.estimates;
    ColumnTable t(estimates.size());
    const EstimateColumnBuffers out{t.text("satellite"),   t.text("system"),    t.text("signal"),
                                    t.text("code"),        t.times_ms("time"),  t.floats("mp"),
                                    t.floats("elevation"), t.floats("azimuth"), t.floats("snr"),
                                    t.ints("arc"),         t.text("arc_start")};
    const EstimateCategories cats = call_released([&] { return fill_estimate_columns(estimates, out); });
    t.categories({cats.satellite, cats.system, cats.signal, cats.code, cats.arc_start});
    return t;
}

ColumnTable slip_table(PyResults& self) {
    SharedBorrow borrow(self.flag);
    const auto& slips = self.output.slips;
    ColumnTable t(slips.size());
    SlipColumnBuffers out{};
    out.satellite = t.text("satellite");
    out.system = t.text("system");
    out.time_ms = t.times_ms("time");
    out.method = t.text("method");
    out.signal = t.text("signal");
    out.magnitude = t.floats("magnitude");
    out.threshold = t.floats("threshold");
    const SlipCategories cats = fill_slip_columns(slips, out);
    t.categories({cats.satellite, cats.system, cats.method, cats.signal});
    return t;
}

ColumnTable statistics_table(PyResults& self) {
    SharedBorrow borrow(self.flag);
    const auto& stats = self.output.statistics;
    ColumnTable t(stats.size());
    std::vector<std::string> signals, systems, codes;
    for (const StatsRecord& s : stats) {
        signals.push_back(s.signal);
        systems.emplace_back(1, system_letter(s.system));
        codes.push_back(s.code.text());
    }
    t.strings("signal", signals);
    t.strings("system", systems);
    t.strings("code", codes);
    int64_t* count = t.ints("count");
    double* columns[] = {t.floats("rms"), t.floats("mean"), t.floats("std_dev"), t.floats("min"),
                         t.floats("max"), t.floats("weighted_rms")};
    int64_t* slips = t.ints("cycle_slips");
    for (std::size_t i = 0; i < stats.size(); ++i) {
        const StatsRecord& s = stats[i];
        count[i] = static_cast<int64_t>(s.count);
        const double values[] = {s.rms, s.mean, s.std_dev, s.min, s.max, s.weighted_rms};
        for (std::size_t c = 0; c < std::size(values); ++c) columns[c][i] = values[c];
        slips[i] = static_cast<int64_t>(s.cycle_slips);
    }
    return t;
}

ObservationCode code_or_raise(const std::string& text) {
    const auto code = parse_observation_code(ascii_uppercase(text));
    if (!code) raise_value_error("'" + text + "' is not an observation code");
    return *code;
}

template <typename T>
py::array grid_array(std::size_t rows, std::size_t columns) {
    return py::array_t<T>(std::vector<py::ssize_t>{static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(columns)});
}

// An indicator grid as floats, NaN where absent (the form of to_numpy).
py::array indicator_floats(const py::object& grid) {
    const auto cells = py::reinterpret_borrow<py::array_t<int8_t>>(grid);
    py::array_t<double> out(std::vector<py::ssize_t>(cells.shape(), cells.shape() + cells.ndim()));
    const int8_t* in = cells.data();
    double* to = out.mutable_data();
    for (py::ssize_t i = 0; i < cells.size(); ++i)
        to[i] = in[i] == kAbsentIndicatorCell ? std::numeric_limits<double>::quiet_NaN() : in[i];
    return out;
}

py::array epoch_times(const RinexObsData& d) {
    py::array times(py::dtype("datetime64[ms]"), std::vector<py::ssize_t>{static_cast<py::ssize_t>(d.epochs.size())});
    auto* out = static_cast<int64_t*>(times.mutable_data());
    for (std::size_t i = 0; i < d.epochs.size(); ++i) out[i] = d.epochs[i].instant_ms;
    return times;
}

py::array satellite_ids(const std::vector<Satellite>& sats) {
    std::vector<std::string> ids;
    for (const Satellite& s : sats) ids.push_back(s.id());
    return text_array(ids);
}

// The grids of a layout, indicators only where the layout has them (or all, `always`).
struct Grids {
    std::vector<py::array> values;
    std::vector<py::object> lli, ssi;  // None where left out
    std::vector<CodeGrid> buffers;
};

Grids allocate_grids(const RinexObsData& d, const ObsGridLayout& layout, bool always) {
    Grids g;
    const std::size_t rows = d.epochs.size(), columns = layout.satellites.size();
    for (std::size_t c = 0; c < layout.codes.size(); ++c) {
        g.values.push_back(grid_array<double>(rows, columns));
        g.lli.push_back(always || layout.has_lli[c] ? py::object(grid_array<int8_t>(rows, columns)) : py::none());
        g.ssi.push_back(always || layout.has_ssi[c] ? py::object(grid_array<int8_t>(rows, columns)) : py::none());
        auto data = [](const py::object& a) {
            return a.is_none() ? nullptr : static_cast<int8_t*>(py::reinterpret_borrow<py::array>(a).mutable_data());
        };
        g.buffers.push_back({static_cast<double*>(g.values.back().mutable_data()), data(g.lli.back()),
                             data(g.ssi.back())});
    }
    return g;
}

py::dict obs_to_numpy(const ObsHandle& data, py::handle code_arg) {
    const ObservationCode code = code_or_raise(arg_str(code_arg, "code"));
    const RinexObsData& d = *data;
    const ObsGridLayout layout = obs_grid_layout(d, std::span(&code, 1), true);
    Grids g = allocate_grids(d, layout, true);
    call_released([&] { fill_obs_grids(d, layout, g.buffers); });
    py::dict out;
    out["time"] = epoch_times(d);
    out["sv"] = satellite_ids(layout.satellites);
    out["values"] = g.values[0];
    out["lli"] = indicator_floats(g.lli[0]);
    out["ssi"] = indicator_floats(g.ssi[0]);
    return out;
}

py::dict header_attrs(const RinexObsData& d) {
    const RinexHeader& h = d.header;
    py::dict attrs;
    attrs["rinextype"] = "obs";
    attrs["version"] = h.version.text();
    const std::pair<const char*, const std::string*> texts[] = {
        {"marker_name", &h.marker_name},     {"marker_number", &h.marker_number},
        {"receiver_type", &h.receiver_type}, {"receiver_number", &h.receiver_number},
        {"antenna_type", &h.antenna_type},   {"antenna_number", &h.antenna_number},
        {"observer", &h.observer},           {"agency", &h.agency},
        {"program", &h.program},             {"time_system", &h.time_system}};
    for (const auto& [name, text] : texts)
        if (!text->empty()) attrs[name] = *text;
    if (h.approx_position) attrs["position"] = py::make_tuple((*h.approx_position)[0], (*h.approx_position)[1], (*h.approx_position)[2]);
    if (const auto interval = d.interval()) attrs["interval"] = *interval;
    return attrs;
}

py::object obs_to_xarray(const ObsHandle& data, py::handle codes_arg, py::handle indicators_arg) {
    std::optional<std::vector<ObservationCode>> wanted;
    if (!is_absent(codes_arg)) {
        wanted.emplace();
        for (const std::string& text : arg_str_list(codes_arg, "codes")) wanted->push_back(code_or_raise(text));
    }
    const bool indicators = arg_bool(indicators_arg, "indicators");
    const py::module_ xr = import_extra("xarray", "RinexObsData.to_xarray()");
    const RinexObsData& d = *data;
    ObsGridLayout layout =
        wanted ? obs_grid_layout(d, std::span<const ObservationCode>(*wanted), false) : obs_grid_layout(d, std::nullopt, false);
    if (!indicators) {
        std::fill(layout.has_lli.begin(), layout.has_lli.end(), 0);
        std::fill(layout.has_ssi.begin(), layout.has_ssi.end(), 0);
    }
    Grids g = allocate_grids(d, layout, false);
    call_released([&] { fill_obs_grids(d, layout, g.buffers); });
    const py::tuple dims = py::make_tuple("time", "sv");
    // The fill in CF's attribute: xarray's decode_cf and its file writers take -1 as absent.
    py::dict indicator_attrs;
    indicator_attrs["_FillValue"] = py::module_::import("numpy").attr("int8")(kAbsentIndicatorCell);
    py::dict vars;
    for (std::size_t c = 0; c < layout.codes.size(); ++c) {
        const std::string name = layout.codes[c].text();
        vars[py::str(name)] = py::make_tuple(dims, g.values[c]);
        if (!g.lli[c].is_none()) vars[py::str(name + "lli")] = py::make_tuple(dims, g.lli[c], indicator_attrs);
        if (!g.ssi[c].is_none()) vars[py::str(name + "ssi")] = py::make_tuple(dims, g.ssi[c], indicator_attrs);
    }
    py::dict coords;
    coords["time"] = epoch_times(d);
    coords["sv"] = satellite_ids(layout.satellites);
    return xr.attr("Dataset")(py::arg("data_vars") = vars, py::arg("coords") = coords,
                              py::arg("attrs") = header_attrs(d));
}

}  // namespace

void register_array_views(py::module_& m) {
    auto results = py::reinterpret_borrow<py::class_<PyResults>>(m.attr("AnalysisResults"));
    results
        .def("to_numpy", [](PyResults& self) { return estimate_table(self).to_numpy(); },
             doc_sig("to_numpy($self)",
                     "The estimates as a dict of 1-D numpy arrays, one row per estimate in `estimates` order:\n"
                     "satellite, system, signal (series key, e.g. GPSM1C), code (e.g. C1C), time\n"
                     "(datetime64[ms], the epoch in GPS time), mp (metres), elevation and azimuth (degrees),\n"
                     "snr (dB-Hz, NaN when absent), arc (estimates of one arc share its number) and\n"
                     "arc_start (what began the arc: start, gap, jump or slip).")
                 .c_str())
        .def("to_pandas",
             [](PyResults& self) { return estimate_table(self).to_pandas("AnalysisResults.to_pandas()"); },
             doc_sig("to_pandas($self)",
                     "The columns of to_numpy() as a pandas DataFrame; text columns are categorical.\n"
                     "attrs[\"time_scale\"] is \"GPS\": `time` is GPS time, not UTC.\n"
                     "Needs pandas (the skyrift_mp[pandas] extra).")
                 .c_str())
        .def("statistics_to_numpy", [](PyResults& self) { return statistics_table(self).to_numpy(); },
             doc_sig("statistics_to_numpy($self)",
                     "The statistics as a dict of 1-D numpy arrays, one row per `statistics` entry:\n"
                     "signal, system, code, count, rms, mean, std_dev, min, max, weighted_rms (metres),\n"
                     "cycle_slips.")
                 .c_str())
        .def("statistics_to_pandas",
             [](PyResults& self) {
                 return statistics_table(self).to_pandas("AnalysisResults.statistics_to_pandas()");
             },
             doc_sig("statistics_to_pandas($self)",
                     "The columns of statistics_to_numpy() as a pandas DataFrame.\n"
                     "Needs pandas (the skyrift_mp[pandas] extra).")
                 .c_str())
        .def("cycle_slips_to_numpy", [](PyResults& self) { return slip_table(self).to_numpy(); },
             doc_sig("cycle_slips_to_numpy($self)",
                     "The cycle slips as a dict of 1-D numpy arrays, one row per `cycle_slips` entry:\n"
                     "satellite, system, time (datetime64[ms], GPS time), method, signal, magnitude and\n"
                     "threshold (metres).")
                 .c_str())
        .def("cycle_slips_to_pandas",
             [](PyResults& self) { return slip_table(self).to_pandas("AnalysisResults.cycle_slips_to_pandas()"); },
             doc_sig("cycle_slips_to_pandas($self)",
                     "The columns of cycle_slips_to_numpy() as a pandas DataFrame; text columns are categorical.\n"
                     "attrs[\"time_scale\"] is \"GPS\": `time` is GPS time, not UTC.\n"
                     "Needs pandas (the skyrift_mp[pandas] extra).")
                 .c_str());

    auto obs = py::reinterpret_borrow<py::class_<RinexObsData, ObsHandle>>(m.attr("RinexObsData"));
    obs.def("to_numpy", &obs_to_numpy, py::arg("code"),
            doc_sig("to_numpy($self, code)",
                    "One observation code as arrays: {\"time\", \"sv\", \"values\", \"lli\", \"ssi\"}. `time` has one\n"
                    "datetime64[ms] per epoch record in file order, `sv` the satellites with a value of the\n"
                    "code; the others are float arrays of shape (time, sv), NaN where absent.")
                .c_str())
        .def("to_xarray", &obs_to_xarray, py::arg("codes") = py::none(), py::arg("indicators") = true,
             doc_sig("to_xarray($self, codes=None, indicators=True)",
                     "The observations as an xarray.Dataset with dims (time, sv): one float64 variable per\n"
                     "observation code (or per code in `codes`), NaN where absent, and <code>lli and\n"
                     "<code>ssi variables where the file gives those indicators (unless indicators=False);\n"
                     "header values in attrs. `time` holds the epochs (datetime64[ms]) in the file's time\n"
                     "scale: GPS time for GPS and mixed files (attrs time_system names it when the header does).\n"
                     "The indicators are int8 digits (LLI 0-7, SSI 0-9), -1 where absent, marked by the\n"
                     "attribute _FillValue = -1: xarray.decode_cf(ds) turns them into floats with NaN, and\n"
                     "a netCDF file written from ds reads back that way.\n"
                     "Needs xarray (the skyrift_mp[xarray] extra).")
                 .c_str());
}

}  // namespace skyrift
