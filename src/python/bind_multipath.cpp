// MultipathEstimate, MultipathStats, CycleSlip, AnalysisResults, MultipathAnalyzer.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "python/support/analyzer_instance.hpp"
#include "python/support/orbit_arg.hpp"
#include "python/support/results_instance.hpp"

#include <algorithm>

#include "analysis/multipath/multipath_analysis.hpp"
#include "analysis/multipath/result_elevations.hpp"
#include "navigation/sp3_data.hpp"
#include "utils/coordinates.hpp"
#include "utils/time.hpp"

namespace skyrift {

namespace {

// Each Python instance owns its value and a borrow flag.
struct PyEstimate {
    EstimateRecord record;
    BorrowFlag flag;
};
struct PyStats {
    StatsRecord record;
    BorrowFlag flag;
};
struct PySlip {
    SlipRecord record;
    BorrowFlag flag;
};

std::string letter_text(GnssSystem system) { return std::string(1, system_letter(system)); }

// A read-only attribute computed from the stored value under a shared borrow.
template <typename Py, typename Get>
void readonly(py::class_<Py>& cls, const char* name, Get get, const char* doc) {
    cls.def_property_readonly(
        name,
        [get](Py& self) {
            SharedBorrow borrow(self.flag);
            return get(self.record);
        },
        doc);
}

// Settable float attribute; deleting it is an AttributeError.
template <double EstimateRecord::*Field>
void settable_angle(py::class_<PyEstimate>& cls, const char* name, const char* doc) {
    py::cpp_function getter([](PyEstimate& self) {
        SharedBorrow borrow(self.flag);
        return self.record.*Field;
    });
    py::cpp_function setter([name](PyEstimate& self, py::handle value) {
        const double x = arg_float(value, name);
        ExclusiveBorrow borrow(self.flag);
        self.record.*Field = x;
    });
    py::cpp_function deleter([](PyEstimate&) { raise_attribute_not_deletable(); });
    cls.attr(name) = py::module_::import("builtins").attr("property")(getter, setter, deleter, doc);
}

void register_estimate(py::module_& m) {
    py::class_<PyEstimate> cls(m, "MultipathEstimate", "Python-exposed Multipath estimate");
    readonly(cls, "satellite", [](const EstimateRecord& e) { return e.satellite.id(); }, "Satellite identifier, e.g. G05");
    readonly(cls, "epoch", [](const EstimateRecord& e) { return iso_text_from_ms(e.time_ms); },
             "The epoch as ISO text, e.g. 2024-03-05T12:30:15.250Z; GPS time (the file's time\n"
             "scale) despite the Z of the fixed text form");
    readonly(cls, "mp_value", [](const EstimateRecord& e) { return e.mp_value; },
             "Code multipath with the arc's mean (bias) removed, metres");
    settable_angle<&EstimateRecord::elevation>(
        cls, "elevation",
        "Satellite elevation in degrees: 45.0 until look angles are computed (orbit= or\n"
        "compute_elevations); settable");
    settable_angle<&EstimateRecord::azimuth>(
        cls, "azimuth",
        "Satellite azimuth in degrees clockwise from north: 0.0 until look angles are computed; settable");
    readonly(cls, "snr", [](const EstimateRecord& e) { return e.has_snr ? std::optional(e.snr) : std::nullopt; },
             "SNR of the signal at the epoch in dB-Hz, or None when the file has none");
    readonly(cls, "signal", [](const EstimateRecord& e) { return e.signal.text(); },
             "The pseudorange code, e.g. C1C");
    readonly(cls, "system", [](const EstimateRecord& e) { return letter_text(e.satellite.system); },
             "One-letter system code, e.g. G");
}

void register_stats(py::module_& m) {
    py::class_<PyStats> cls(m, "MultipathStats", "Python-exposed Multipath statistics");
    readonly(cls, "signal", [](const StatsRecord& s) { return s.signal; },
             "The series key: system abbreviation, M and the code's band and attribute, e.g. GPSM1C");
    readonly(cls, "rms", [](const StatsRecord& s) { return s.rms; }, "Root mean square of the multipath values, metres");
    readonly(cls, "mean", [](const StatsRecord& s) { return s.mean; }, "Mean of the multipath values, metres");
    readonly(cls, "std_dev", [](const StatsRecord& s) { return s.std_dev; },
             "Population standard deviation (divisor n) of the multipath values, metres");
    readonly(cls, "min", [](const StatsRecord& s) { return s.min; }, "Smallest multipath value, metres");
    readonly(cls, "max", [](const StatsRecord& s) { return s.max; }, "Largest multipath value, metres");
    readonly(cls, "weighted_rms", [](const StatsRecord& s) { return s.weighted_rms; },
             "Elevation-weighted RMS, metres: weight 1 at 30 degrees and above, 1/(4 sin^2 e) below,\n"
             "0 at or below the horizon and where no orbit gave a position; the RMS when\n"
             "no estimate has a weight");
    readonly(cls, "system", [](const StatsRecord& s) { return letter_text(s.system); }, "One-letter system code, e.g. G");
    readonly(cls, "code", [](const StatsRecord& s) { return s.code.text(); }, "The pseudorange code, e.g. C1C");
    readonly(cls, "cycle_slips", [](const StatsRecord& s) { return s.cycle_slips; },
             "Number of arc breaks caused by detected cycle slips in this series");
    readonly(cls, "count", [](const StatsRecord& s) { return s.count; }, "Number of estimates in this series");
    cls.def("__repr__", [](PyStats& self) {
        SharedBorrow borrow(self.flag);
        const StatsRecord& s = self.record;
        return "MultipathStats(signal='" + s.signal + "', rms=" + fmt_fixed(s.rms, 4) +
               ", count=" + std::to_string(s.count) + ")";
    });
}

void register_slip(py::module_& m) {
    py::class_<PySlip> cls(m, "CycleSlip", "Python-exposed Cycle slip");
    readonly(cls, "satellite", [](const SlipRecord& s) { return s.satellite.id(); }, "Satellite identifier, e.g. G05");
    readonly(cls, "magnitude", [](const SlipRecord& s) { return s.magnitude; },
             "Size of the jump the test saw, metres (1.0 for an lli slip)");
    readonly(cls, "method", [](const SlipRecord& s) { return std::string(slip_method_text(s.method)); },
             "The test that found the slip: gf, code_phase, lli or doppler");
    readonly(cls, "signal", [](const SlipRecord& s) { return s.num_signals ? s.signals[0].text() : std::string(); },
             "The first signal of the record, e.g. L1C; empty when it has none");
    readonly(cls, "system", [](const SlipRecord& s) { return letter_text(s.satellite.system); },
             "One-letter system code, e.g. G");
    readonly(cls, "threshold", [](const SlipRecord& s) { return s.threshold; },
             "The test's threshold the magnitude exceeded, metres (0.0 for lli)");
    readonly(cls, "epoch", [](const SlipRecord& s) { return iso_text_from_ms(s.time_ms); },
             "The epoch as ISO text, e.g. 2024-03-05T12:30:15.250Z; GPS time (the file's time\n"
             "scale) despite the Z of the fixed text form");
}

// Fresh Python instances for every element.
template <typename Py, typename Record>
py::list instances_of(const std::vector<Record>& records) {
    py::list out(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) out[i] = py::cast(Py{records[i], {}});
    return out;
}

// From the earliest to the latest estimate; absent without estimates.
std::optional<TimeSpanMs> estimates_span(const std::vector<EstimateRecord>& estimates) {
    if (estimates.empty()) return std::nullopt;
    const auto [first, last] = std::minmax_element(
        estimates.begin(), estimates.end(),
        [](const EstimateRecord& a, const EstimateRecord& b) { return a.time_ms < b.time_ms; });
    return TimeSpanMs{first->time_ms, last->time_ms};
}

py::tuple compute_elevations(PyResults& self, py::handle sp3_arg, py::handle receiver_arg) {
    ExclusiveBorrow borrow(self.flag);
    const SharedOrbit orbit = arg_orbit(sp3_arg, "sp3");
    const Ecef receiver = arg_instance<Ecef>(receiver_arg, "receiver");
    check_orbit_use(orbit, receiver, "receiver", estimates_span(self.output.estimates), "estimates");
    const ElevationCounts counts =
        call_released([&] { return compute_result_elevations(self.output, orbit.source(), receiver); });
    return py::make_tuple(counts.computed, counts.failed);
}

void register_results(py::module_& m) {
    py::class_<PyResults>(m, "AnalysisResults", "Python-exposed Analysis results")
        .def_property_readonly("estimates",
                               [](PyResults& self) {
                                   SharedBorrow borrow(self.flag);
                                   return instances_of<PyEstimate>(self.output.estimates);
                               },
                               "Every MultipathEstimate (new copies), ordered by series key, then PRN, then time")
        .def_property_readonly("cycle_slips",
                               [](PyResults& self) {
                                   SharedBorrow borrow(self.flag);
                                   return instances_of<PySlip>(self.output.slips);
                               },
                               "Every detected CycleSlip (new copies)")
        .def_property_readonly("cycle_slip_counts",
                               [](PyResults& self) {
                                   SharedBorrow borrow(self.flag);
                                   py::dict counts;
                                   for (const auto& [key, n] : self.output.slip_counts) counts[py::str(key)] = n;
                                   return counts;
                               },
                               "Number of slips per system abbreviation and phase code, e.g. {\"GPSL1C\": 3}")
        .def_property_readonly("statistics",
                               [](PyResults& self) {
                                   SharedBorrow borrow(self.flag);
                                   return instances_of<PyStats>(self.output.statistics);
                               },
                               "One MultipathStats per series key (new copies)")
        .def_property_readonly(
            "estimates_without_position",
            [](PyResults& self) -> std::optional<uint64_t> {
                SharedBorrow borrow(self.flag);
                return self.output.estimates_without_position;
            },
            "Estimates analyze() found no orbit position for: left out of the estimates and\n"
            "statistics (kept with elevation 45.0, and counted where they pass the cutoff,\n"
            "with keep_estimates_without_position=True); None when the analyzer had no orbit")
        .def_property_readonly(
            "estimates_without_position_by_system",
            [](PyResults& self) -> py::object {
                SharedBorrow borrow(self.flag);
                if (!self.output.estimates_without_position) return py::none();
                py::dict counts;
                for (const auto& [system, n] : self.output.without_position_by_system) counts[py::str(system)] = n;
                return std::move(counts);
            },
            "estimates_without_position per system, keyed by its three-letter name\n"
            "(GPS, GLO, GAL, BDS, QZS, SBS, IRN); None when the analyzer had no orbit")
        .def_property_readonly(
            "empty_reasons",
            [](PyResults& self) {
                SharedBorrow borrow(self.flag);
                py::dict reasons;
                for (const auto& [what, why] : self.output.empty_reasons) reasons[py::str(what)] = why;
                return reasons;
            },
            "Why a signal or the whole file gave no estimates: a dict from the series key\n"
            "(e.g. 'GPSM2C', for an analysed signal that kept no estimate) or 'file' to a\n"
            "text such as 'no carrier phase' or 'arcs need 10 points; the file has 9 epochs'")
        .def(
            "total_estimates",
            [](PyResults& self) {
                SharedBorrow borrow(self.flag);
                return self.output.estimates.size();
            },
            doc_sig("total_estimates($self)", "Number of multipath estimates.").c_str())
        .def(
            "total_cycle_slips",
            [](PyResults& self) {
                SharedBorrow borrow(self.flag);
                return self.output.slips.size();
            },
            doc_sig("total_cycle_slips($self)", "Number of detected cycle slips.").c_str())
        .def("compute_elevations", &compute_elevations, py::arg("sp3"), py::arg("receiver"),
             doc_sig("compute_elevations($self, sp3, receiver)",
                     "Compute elevations and azimuths for all estimates using SP3 data\n"
                     "Returns (computed_count, failed_count)")
                 .c_str())
        .def("__repr__", [](PyResults& self) {
            SharedBorrow borrow(self.flag);
            return "AnalysisResults(estimates=" + std::to_string(self.output.estimates.size()) +
                   ", signals=" + std::to_string(self.output.statistics.size()) +
                   ", cycle_slips=" + std::to_string(self.output.slips.size()) + ")";
        });
}

std::vector<std::string> code_filter(py::handle h, const char* name) {
    if (is_absent(h)) return {};
    return value_or_raise(normalize_code_filter(name, arg_str_list(h, name)));
}

std::optional<double> optional_float(py::handle h, const char* name) {
    if (is_absent(h)) return std::nullopt;
    return arg_float(h, name);
}

PyAnalyzer make_analyzer(py::handle obs_data, py::handle elevation_cutoff, py::handle systems,
                         py::handle bias_window_seconds, py::handle min_arc_seconds, py::handle arc_gap_factor,
                         py::handle include_codes, py::handle exclude_codes, py::handle max_epochs,
                         py::handle detect_cycle_slips, py::handle ion_delta_base, py::handle ion_delta_rate,
                         py::handle cp_delta_base, py::handle cp_delta_rate, py::handle skip_slip_tests_after_holes,
                         py::handle orbit, py::handle receiver, py::handle min_arc_points,
                         py::handle keep_estimates_without_position) {
    AnalyzerConfig c;
    c.obs_data = arg_shared<RinexObsData>(obs_data, "obs_data");
    c.elevation_cutoff = arg_float(elevation_cutoff, "elevation_cutoff");
    c.systems = is_absent(systems) ? default_systems() : systems_from_names(arg_str_list(systems, "systems"));
    c.bias_window = optional_float(bias_window_seconds, "bias_window_seconds");
    c.min_arc = arg_float(min_arc_seconds, "min_arc_seconds");
    c.arc_gap_factor = arg_float(arc_gap_factor, "arc_gap_factor");
    c.include_codes = code_filter(include_codes, "include_codes");
    c.exclude_codes = code_filter(exclude_codes, "exclude_codes");
    if (!is_absent(max_epochs)) c.max_epochs = arg_int<uint64_t>(max_epochs, "max_epochs");
    c.detect_cycle_slips = arg_bool(detect_cycle_slips, "detect_cycle_slips");
    c.ion_delta_base = arg_float(ion_delta_base, "ion_delta_base");
    c.ion_delta_rate = arg_float(ion_delta_rate, "ion_delta_rate");
    c.cp_delta_base = arg_float(cp_delta_base, "cp_delta_base");
    c.cp_delta_rate = arg_float(cp_delta_rate, "cp_delta_rate");
    c.slip_tests_across_holes = !arg_bool(skip_slip_tests_after_holes, "skip_slip_tests_after_holes");
    c.min_arc_points = value_or_raise(check_min_arc_points(arg_int<uint64_t>(min_arc_points, "min_arc_points")));
    c.keep_estimates_without_position = arg_bool(keep_estimates_without_position, "keep_estimates_without_position");
    if (!is_absent(orbit)) c.orbit = arg_orbit(orbit, "orbit");
    std::optional<Ecef> position;
    if (!is_absent(receiver)) position = arg_instance<Ecef>(receiver, "receiver");
    if (c.orbit) {
        c.receiver = value_or_raise(receiver_position(c.obs_data->header, position));
        check_orbit_use(c.orbit, c.receiver, position ? "receiver" : "the file's APPROX POSITION XYZ", *c.obs_data);
    } else if (position) {
        raise_value_error("receiver is used only with an orbit: pass orbit= as well");
    }
    return {std::move(c), {}};
}

PyResults analyze(PyAnalyzer& self) {
    AnalyzerConfig config;
    {
        SharedBorrow borrow(self.flag);
        config = self.config;
    }
    return {call_released(Failure::Analysis, [&] { return run_multipath_analysis(config); }), {}};
}

void register_analyzer(py::module_& m) {
    py::class_<PyAnalyzer>(m, "MultipathAnalyzer", "Python-exposed Multipath Analyzer")
        .def(py::init(&make_analyzer), py::arg("obs_data"), py::arg("elevation_cutoff") = 10.0,
             py::arg("systems") = py::none(), py::arg("bias_window_seconds") = 1500.0,
             py::arg("min_arc_seconds") = 300.0, py::arg("arc_gap_factor") = 5.0,
             py::arg("include_codes") = py::none(), py::arg("exclude_codes") = py::none(),
             py::arg("max_epochs") = py::none(), py::arg("detect_cycle_slips") = true,
             py::arg("ion_delta_base") = 0.10, py::arg("ion_delta_rate") = 0.003, py::arg("cp_delta_base") = 5.0,
             py::arg("cp_delta_rate") = 0.10, py::arg("skip_slip_tests_after_holes") = false,
             py::arg("orbit") = py::none(), py::arg("receiver") = py::none(), py::kw_only(),
             py::arg("min_arc_points") = 10, py::arg("keep_estimates_without_position") = false,
             doc_sig("__init__($self, obs_data, elevation_cutoff=10.0, systems=None, bias_window_seconds=1500.0, "
                     "min_arc_seconds=300.0, arc_gap_factor=5.0, include_codes=None, exclude_codes=None, "
                     "max_epochs=None, detect_cycle_slips=True, ion_delta_base=0.10, ion_delta_rate=0.003, "
                     "cp_delta_base=5.0, cp_delta_rate=0.10, skip_slip_tests_after_holes=False, orbit=None, "
                     "receiver=None, *, min_arc_points=10, keep_estimates_without_position=False)",
                     "Settings of a code-multipath analysis of obs_data; analyze() runs it.\n"
                     "Slip tests compare each signal with its own last value, across a hole in that\n"
                     "signal of at most 300 s, with the thresholds of that time difference.\n"
                     "skip_slip_tests_after_holes=True restores the earlier rule: a signal is\n"
                     "compared only with the satellite's previous epoch, so its first epoch after\n"
                     "a hole is never tested.\n"
                     "orbit (an Sp3Data, a NavData, or a tuple of one of each: SP3 first, the\n"
                     "broadcast ephemerides for what it lacks): analyze() gives every estimate\n"
                     "its look angles from receiver (an Ecef; default: the file's approximate\n"
                     "position), the elevation cutoff acts on them and the statistics are\n"
                     "weighted by them. Estimates the orbit has no position for cannot pass a\n"
                     "cutoff nor be weighted: they are left out, and counted in\n"
                     "AnalysisResults.estimates_without_position (per system in\n"
                     "estimates_without_position_by_system).\n"
                     "keep_estimates_without_position=True restores the earlier rule: they stay\n"
                     "with elevation 45.0, are judged by the cutoff at that, and only those kept\n"
                     "are counted; their weight in weighted_rms is 0, as in compute_elevations.\n"
                     "min_arc_points: the fewest points an arc may have (an integer, at least 1);\n"
                     "shorter arcs are dropped, as are those shorter than min_arc_seconds.\n"
                     "AnalysisResults.empty_reasons tells why a signal or the file gave nothing.\n"
                     "An orbit that covers none of the observations, or a receiver farther than 6300-6500 km\n"
                     "from the Earth's centre, is a ValueError; one that covers part gives a UserWarning.")
                 .c_str())
        .def("analyze", &analyze, doc_sig("analyze($self)", "Run the analysis and return its AnalysisResults.").c_str());
}

}  // namespace

void register_multipath_classes(py::module_& m) {
    register_estimate(m);
    register_stats(m);
    register_slip(m);
    register_results(m);
    register_analyzer(m);
}

}  // namespace skyrift
