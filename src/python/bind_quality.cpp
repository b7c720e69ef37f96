// QualityReport (its values and text), quality. Its tables: bind_quality_tables.cpp.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "python/support/analyzer_instance.hpp"
#include "python/support/orbit_arg.hpp"
#include "python/support/quality_instance.hpp"
#include "python/support/results_instance.hpp"

#include <cmath>
#include <limits>
#include <memory>

#include "analysis/quality/quality_analysis.hpp"
#include "analysis/quality/system_summary.hpp"
#include "utils/time.hpp"

namespace skyrift {

namespace {

constexpr const char* kQualityDoc =
    "Station-day quality control of obs, in the terms of teqc's +qc and Anubis.\n\n"
    "orbit: an Sp3Data, a NavData or a tuple of one of each; it gives the elevations seen\n"
    "from receiver (an Ecef; default: the header's APPROX POSITION XYZ). Without an orbit,\n"
    "or with one that misses the observations, whatever needs elevations is absent (None,\n"
    "NaN), never invented, and `missing` says why. With broadcast ephemerides a satellite\n"
    "is left out of the expected counts where the ephemeris in force is unhealthy.\n"
    "cutoff: elevation mask, degrees. gap_seconds: a break longer than this is a gap, a\n"
    "shorter one that misses an epoch is a hole. thresholds: {name: (warn, fail)} for\n"
    "'completeness' (%, default 95, 90), 'mp1' and 'mp2' (m, default 0.4, 0.8 and 0.6,\n"
    "1.2) and 'obs_per_slip' (default 500, 100). The multipath defaults are ours, not a\n"
    "published IGS statistic (no source we found gives a network median); MP2's is 1.5\n"
    "times MP1's, as teqc's MP1 RMS is usually 50-80 % of its MP2 RMS (L. Estey, teqc\n"
    "mailing list, 2008-03-05). ARCHITECTURE.md gives the sources. A value above warn\n"
    "warns, above twice it fails. **analysis_options: the keyword options of\n"
    "MultipathAnalyzer (systems defaults to every system of the file).\n\n"
    "Definitions (ARCHITECTURE.md, 'Quality control', has them in full):\n"
    "  interval: the header's INTERVAL when positive, else the observed spacing; file\n"
    "  gives both (header_interval, observed_interval) and a partial read's damage.\n"
    "  expected epochs: span / interval + 1; present: distinct observation epochs.\n"
    "  passes: elevations every 300 s from the orbit, cutoff crossings interpolated\n"
    "  linearly; a pass holds floor(duration / interval) + 1 epochs (as Anubis counts).\n"
    "  expected: those epochs over every healthy satellite of the system;\n"
    "  expected_tracking: over the satellites that have the code at all (Anubis's sat_rec).\n"
    "  present: observations of the code at epochs within a pass; completeness: present /\n"
    "  expected in %.\n"
    "  slips: epochs with a cycle slip of the signal's phase (same band and attribute, else\n"
    "  the band's smallest attribute, as the multipath analysis pairs them) above the\n"
    "  cutoff, from the multipath analysis' detector; a code-minus-phase slip at a\n"
    "  receiver clock jump is the jump and is not counted. obs_per_slip: present (all\n"
    "  observations without elevations) / slips; with no slip, the observation count.\n"
    "  mp_rms, mp_wrms: the multipath analysis' RMS and elevation-weighted RMS, with the\n"
    "  orbit and the cutoff. snr_mean: mean of the S code of the same band and attribute\n"
    "  above the cutoff.\n"
    "  clock jumps: epochs at which every satellite's code-minus-phase jumps by the same\n"
    "  whole number of light-milliseconds (within 300 m).\n"
    "  summary: one line per system, 'first last hrs dt #expt #have % mp1 mp2 o/slps':\n"
    "  #have is the largest present count among the system's signals, mp1 and mp2 the\n"
    "  first code of its two lowest bands, o/slps #have per slip epoch of the system.";

// --- values ---------------------------------------------------------------------------

py::object number(double x) { return std::isfinite(x) ? py::object(py::float_(x)) : py::object(py::none()); }

template <typename T>
py::object optional_number(const std::optional<T>& x) {
    if (!x) return py::none();
    if constexpr (std::is_floating_point_v<T>) {
        return number(*x);
    } else {
        return py::int_(*x);
    }
}

py::object optional_time(const std::optional<int64_t>& ms) {
    return ms ? py::object(py::str(iso_text_from_ms(*ms))) : py::object(py::none());
}

py::object optional_text(const std::optional<std::string>& s) {
    return s ? py::object(py::str(*s)) : py::object(py::none());
}

std::string letter(GnssSystem s) { return std::string(1, system_letter(s)); }

py::list ranges(const std::vector<TimeRange>& rs) {
    py::list out;
    for (const TimeRange& r : rs) out.append(py::make_tuple(iso_text_from_ms(r.start_ms), iso_text_from_ms(r.end_ms)));
    return out;
}

// --- the report as plain Python values ------------------------------------------------

py::dict options_dict(const QualityReport& r) {
    py::dict thresholds;
    for (const Threshold& t : r.options.thresholds) thresholds[py::str(t.name)] = py::make_tuple(t.warn, t.fail);
    py::dict d;
    d["cutoff"] = r.options.cutoff;
    d["gap_seconds"] = r.options.gap_seconds;
    d["elevation_step"] = r.options.elevation_step;
    d["orbit"] = r.orbit.empty() ? py::object(py::none()) : py::object(py::str(r.orbit));
    d["receiver"] = r.receiver ? py::object(py::make_tuple(r.receiver->x, r.receiver->y, r.receiver->z))
                               : py::object(py::none());
    d["thresholds"] = thresholds;
    return d;
}

py::dict file_dict(const FileFacts& f) {
    py::dict d;
    d["station"] = f.station;
    d["marker_number"] = f.marker_number;
    d["receiver"] = f.receiver_type;
    d["receiver_number"] = f.receiver_number;
    d["antenna"] = f.antenna_type;
    d["version"] = f.version;
    d["header_interval"] = optional_number(f.header_interval);
    d["observed_interval"] = optional_number(f.observed_interval);
    d["interval"] = optional_number(f.interval);
    d["first"] = optional_time(f.first_ms);
    d["last"] = optional_time(f.last_ms);
    d["span_seconds"] = f.span_seconds;
    d["damage"] = optional_text(f.damage);
    return d;
}

py::dict epochs_dict(const EpochCompleteness& e) {
    py::list gaps;
    for (const TimeRange& g : e.gaps) {
        py::dict row;
        row["start"] = iso_text_from_ms(g.start_ms);
        row["end"] = iso_text_from_ms(g.end_ms);
        row["seconds"] = static_cast<double>(g.end_ms - g.start_ms) / 1000.0;
        gaps.append(row);
    }
    py::dict d;
    d["expected"] = optional_number(e.expected);
    d["present"] = e.present;
    d["completeness"] = optional_number(e.completeness);
    d["gaps"] = gaps;
    d["holes"] = e.holes;
    return d;
}

py::dict signal_dict(const SignalQuality& s) {
    py::dict d;
    d["system"] = letter(s.system);
    d["code"] = s.code.text();
    d["observed"] = s.observed;
    d["expected"] = optional_number(s.expected);
    d["expected_tracking"] = optional_number(s.expected_tracking);
    d["present"] = optional_number(s.present);
    d["completeness"] = optional_number(s.completeness);
    d["completeness_tracking"] = optional_number(s.completeness_tracking);
    d["slips"] = optional_number(s.slips);
    d["obs_per_slip"] = optional_number(s.obs_per_slip);
    d["mp_rms"] = optional_number(s.mp_rms);
    d["mp_wrms"] = optional_number(s.mp_wrms);
    d["snr_mean"] = optional_number(s.snr_mean);
    return d;
}

py::dict satellite_dict(const SatelliteQuality& s) {
    py::dict d;
    d["satellite"] = s.satellite.id();
    d["system"] = letter(s.satellite.system);
    d["epochs"] = s.epochs;
    d["first"] = optional_time(s.first_ms);
    d["last"] = optional_time(s.last_ms);
    d["first_above"] = optional_time(s.first_above_ms);
    d["last_above"] = optional_time(s.last_above_ms);
    d["expected"] = optional_number(s.expected);
    d["slips"] = optional_number(s.slips);
    d["tracked"] = ranges(s.tracked);
    d["passes"] = ranges(s.passes);
    return d;
}

py::dict snr_bins_dict(const SnrBins& b) {
    py::list counts, means;
    for (int i = 0; i < kSnrBins; ++i) {
        counts.append(b.count[static_cast<std::size_t>(i)]);
        means.append(number(b.mean[static_cast<std::size_t>(i)]));
    }
    py::dict d;
    d["system"] = letter(b.system);
    d["code"] = b.code.text();
    d["count"] = counts;
    d["mean"] = means;
    return d;
}

py::dict flags_dict(const SystemSummary& s) {
    py::dict d;
    for (const FlagResult& f : s.flags)
        d[py::str(f.name)] = f.verdict ? py::object(py::str(std::string(verdict_text(*f.verdict)))) : py::object(py::none());
    return d;
}

py::dict summary_dict(const SystemSummary& s) {
    auto code_text = [](const std::optional<ObservationCode>& c) {
        return c ? py::object(py::str(c->text())) : py::object(py::none());
    };
    py::dict d;
    d["system"] = letter(s.system);
    d["have_code"] = code_text(s.have_code);
    d["expected"] = optional_number(s.expected);
    d["present"] = optional_number(s.present);
    d["completeness"] = optional_number(s.completeness);
    d["mp1_code"] = code_text(s.mp1_code);
    d["mp1"] = optional_number(s.mp1);
    d["mp2_code"] = code_text(s.mp2_code);
    d["mp2"] = optional_number(s.mp2);
    d["slips"] = optional_number(s.slips);
    d["obs_per_slip"] = optional_number(s.obs_per_slip);
    d["line"] = s.line;
    d["flags"] = flags_dict(s);
    return d;
}

py::object clock_jump_list(const QualityReport& r) {
    if (!r.clock_jumps) return py::none();
    py::list out;
    for (const ClockJump& j : *r.clock_jumps) out.append(py::make_tuple(iso_text_from_ms(j.time_ms), j.milliseconds));
    return out;
}

template <typename T, typename ToDict>
py::list dict_list(const std::vector<T>& items, ToDict to_dict) {
    py::list out;
    for (const T& item : items) out.append(to_dict(item));
    return out;
}

py::dict report_dict(const QualityReport& r) {
    py::list slips;
    for (const SlipEvent& e : r.slips) {
        py::dict row;
        row["satellite"] = e.satellite.id();
        row["signal"] = e.phase.text();
        row["time"] = iso_text_from_ms(e.time_ms);
        row["above"] = e.above;
        slips.append(row);
    }
    py::object jumps = py::none();
    if (r.clock_jumps) {
        py::list list;
        for (const ClockJump& j : *r.clock_jumps) {
            py::dict row;
            row["time"] = iso_text_from_ms(j.time_ms);
            row["milliseconds"] = j.milliseconds;
            list.append(row);
        }
        jumps = list;
    }
    py::dict d;
    d["schema"] = std::string(kQualitySchema);
    d["options"] = options_dict(r);
    d["file"] = file_dict(r.file);
    d["epochs"] = epochs_dict(r.epochs);
    d["summary_header"] = summary_header();
    d["summary"] = dict_list(r.summary, summary_dict);
    d["signals"] = dict_list(r.signals, signal_dict);
    d["snr_bins"] = dict_list(r.snr_bins, snr_bins_dict);
    d["satellites"] = dict_list(r.satellites, satellite_dict);
    d["slips"] = slips;
    d["clock_jumps"] = jumps;
    d["missing"] = r.missing;
    return d;
}

// --- text -----------------------------------------------------------------------------

std::string report_text(const QualityReport& r) {
    std::string text = "QualityReport " + (r.file.station.empty() ? std::string("(no marker name)") : r.file.station);
    text += ": " + std::to_string(r.epochs.present);
    if (r.epochs.expected) text += " of " + std::to_string(*r.epochs.expected);
    text += " epochs";
    if (r.epochs.completeness) text += " (" + fmt_fixed(*r.epochs.completeness, 1) + " %)";
    text += ", " + std::to_string(r.epochs.gaps.size()) + " gaps, " + std::to_string(r.epochs.holes) + " holes";
    if (r.clock_jumps) text += ", " + std::to_string(r.clock_jumps->size()) + " clock jumps";
    text += "\n" + summary_header() + "\n";
    for (const SystemSummary& s : r.summary) {
        text += s.line + "   ";
        for (const FlagResult& f : s.flags)
            text += " " + f.name + "=" + (f.verdict ? std::string(verdict_text(*f.verdict)) : std::string("-"));
        text += "\n";
    }
    for (const std::string& m : r.missing) text += "missing " + m + "\n";
    text.pop_back();
    return text;
}

std::string report_repr(const QualityReport& r) {
    std::string systems;
    for (const SystemSummary& s : r.summary) systems += system_letter(s.system);
    return "QualityReport(station='" + r.file.station + "', epochs=" + std::to_string(r.epochs.present) +
           ", systems='" + systems + "', missing=" + std::to_string(r.missing.size()) + ")";
}

// --- the call -------------------------------------------------------------------------

std::vector<Threshold> thresholds_from(py::handle h) {
    std::vector<Threshold> thresholds = default_thresholds();
    if (is_absent(h)) return thresholds;
    if (!PyDict_Check(h.ptr())) raise_argument_error("thresholds", "expected a dict of name to (warn, fail)");
    for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(h)) {
        const std::string name = arg_str(key, "thresholds");
        const auto t = std::find_if(thresholds.begin(), thresholds.end(), [&](const Threshold& x) { return x.name == name; });
        if (t == thresholds.end())
            raise_value_error("thresholds: unknown name '" + name +
                              "' (known: completeness, mp1, mp2, obs_per_slip)");
        const std::vector<double> pair = arg_float_list(value, "thresholds");
        if (pair.size() != 2) raise_value_error("thresholds: '" + name + "' takes a (warn, fail) pair");
        const bool ordered = t->higher_is_better ? pair[1] <= pair[0] : pair[0] <= pair[1];
        if (!ordered || !std::isfinite(pair[0]) || !std::isfinite(pair[1]))
            raise_value_error("thresholds: '" + name + "' needs finite limits with fail " +
                              (t->higher_is_better ? "at or below" : "at or above") + " warn");
        t->warn = pair[0];
        t->fail = pair[1];
    }
    return thresholds;
}

// The analyzer's keyword options, checked and converted by MultipathAnalyzer itself.
AnalyzerConfig analyzer_options(py::handle obs_arg, const RinexObsData& obs, const py::kwargs& kwargs) {
    static const char* const kOwnedHere[] = {"obs_data", "elevation_cutoff", "orbit", "receiver"};
    const py::object analyzer_type = py::type::of<PyAnalyzer>();
    const py::object parameters =
        py::module_::import("inspect").attr("signature")(analyzer_type).attr("parameters");
    for (const auto& [key, value] : kwargs) {
        const std::string name = py::str(key);
        const bool owned = std::find(std::begin(kOwnedHere), std::end(kOwnedHere), name) != std::end(kOwnedHere);
        if (owned || !parameters.contains(key)) raise_unexpected_keyword("quality", name);
    }
    py::dict options(kwargs);
    if (!options.contains("systems")) {
        py::list systems;
        std::string seen;
        for (const Satellite& s : obs.distinct_satellites()) {
            if (seen.find(system_letter(s.system)) != std::string::npos) continue;
            seen += system_letter(s.system);
            systems.append(py::str(std::string(1, system_letter(s.system))));
        }
        options["systems"] = systems;
    }
    const py::object analyzer = analyzer_type(obs_arg, **options);
    return analyzer.cast<PyAnalyzer&>().config;
}

PyQualityReport quality_py(py::handle obs_arg, py::handle orbit_arg, py::handle receiver_arg, py::handle cutoff_arg,
                           py::handle gap_arg, py::handle thresholds_arg, const py::kwargs& kwargs) {
    QualityInput input;
    input.obs = arg_shared<RinexObsData>(obs_arg, "obs");
    if (!is_absent(orbit_arg)) input.orbit = arg_orbit(orbit_arg, "orbit");
    if (!is_absent(receiver_arg)) input.receiver = arg_instance<Ecef>(receiver_arg, "receiver");
    QualityOptions options;
    options.cutoff = arg_float(cutoff_arg, "cutoff");
    options.gap_seconds = arg_float(gap_arg, "gap_seconds");
    if (!(options.cutoff >= -90.0 && options.cutoff <= 90.0))
        raise_value_error("cutoff must be an elevation between -90 and 90 degrees");
    if (!(options.gap_seconds > 0.0) || !std::isfinite(options.gap_seconds))
        raise_value_error("gap_seconds must be a positive number of seconds");
    options.thresholds = thresholds_from(thresholds_arg);
    input.multipath = analyzer_options(obs_arg, *input.obs, kwargs);
    return {std::make_shared<const QualityReport>(call_released([&] { return run_quality(input, options); }))};
}

template <typename Get>
void readonly(py::class_<PyQualityReport>& cls, const char* name, Get get, const char* doc) {
    cls.def_property_readonly(name, [get](const PyQualityReport& self) { return get(*self.report); }, doc);
}

template <typename Fn>
void method(py::class_<PyQualityReport>& cls, const char* name, Fn fn, const char* doc) {
    cls.def(name, fn, doc_sig(std::string(name) + "($self)", doc).c_str());
}

}  // namespace

void register_quality(py::module_& m) {
    py::class_<PyQualityReport> cls(m, "QualityReport", "Station-day quality control; quality() makes one");
    readonly(cls, "file", [](const QualityReport& r) { return file_dict(r.file); },
             "File facts: station, marker_number, receiver, receiver_number, antenna, version, header_interval, "
             "observed_interval, interval (nominal, s), first, last, span_seconds, damage (text of a partial read)");
    readonly(cls, "epochs", [](const QualityReport& r) { return epochs_dict(r.epochs); },
             "expected (span / interval + 1), present, completeness (%), gaps ({start, end, seconds}), holes");
    readonly(cls, "gaps", [](const QualityReport& r) { return ranges(r.epochs.gaps); },
             "Gaps longer than gap_seconds as (start, end): the last epoch before and the first after");
    readonly(cls, "summary", [](const QualityReport& r) { return dict_list(r.summary, summary_dict); },
             "One dict per system: expected, present, completeness, mp1_code, mp1, mp2_code, mp2, slips, "
             "obs_per_slip, line (teqc's columns) and flags");
    readonly(cls, "summary_lines", [](const QualityReport& r) {
                 std::vector<std::string> lines{summary_header()};
                 for (const SystemSummary& s : r.summary) lines.push_back(s.line);
                 return lines;
             },
             "The column heads and one teqc-style line per system: first last hrs dt #expt #have % mp1 mp2 o/slps");
    readonly(cls, "flags", [](const QualityReport& r) {
                 py::dict d;
                 for (const SystemSummary& s : r.summary) d[py::str(letter(s.system))] = flags_dict(s);
                 return d;
             },
             "Per system letter: {completeness, mp1, mp2, obs_per_slip: 'pass', 'warn', 'fail' or None when the "
             "figure is absent}");
    readonly(cls, "thresholds", [](const QualityReport& r) {
                 py::dict d;
                 for (const Threshold& t : r.options.thresholds) d[py::str(t.name)] = py::make_tuple(t.warn, t.fail);
                 return d;
             },
             "The (warn, fail) limits the flags were judged against");
    readonly(cls, "clock_jumps", &clock_jump_list,
             "Receiver clock jumps as (time, milliseconds); None when the file has no carrier phases");
    readonly(cls, "missing", [](const QualityReport& r) { return r.missing; },
             "What is absent from the report and why, one text each");
    readonly(cls, "multipath", [](const QualityReport& r) -> py::object {
                 if (!r.multipath) return py::none();
                 return py::cast(PyResults{*r.multipath, {}});
             },
             "The AnalysisResults of the multipath analysis behind mp_rms (with the orbit's look angles and the "
             "cutoff when elevations are known), or None without phases");
    readonly(cls, "cutoff", [](const QualityReport& r) { return r.options.cutoff; }, "Elevation cutoff, degrees");
    readonly(cls, "gap_seconds", [](const QualityReport& r) { return r.options.gap_seconds; },
             "Breaks longer than this are gaps");
    readonly(cls, "has_elevations", [](const QualityReport& r) { return r.has_elevations; },
             "Whether an orbit gave elevations (expected counts, completeness and bins depend on them)");
    method(cls, "to_dict", [](const PyQualityReport& self) { return report_dict(*self.report); },
           "The whole report as plain values (schema skyrift-mp/quality/1, described in ARCHITECTURE.md): times as "
           "ISO text, absent figures as None.");
    cls.def(
        "to_json",
        [](const PyQualityReport& self, py::handle indent) {
            return py::module_::import("json").attr("dumps")(report_dict(*self.report), py::arg("indent") = indent,
                                                             py::arg("allow_nan") = false);
        },
        py::arg("indent") = py::none(),
        doc_sig("to_json($self, indent=None)", "to_dict() as JSON text (schema skyrift-mp/quality/1).").c_str());
    cls.def("__repr__", [](const PyQualityReport& self) { return report_repr(*self.report); });
    cls.def("__str__", [](const PyQualityReport& self) { return report_text(*self.report); });

    m.def("quality", &quality_py, py::arg("obs"), py::arg("orbit") = py::none(), py::arg("receiver") = py::none(),
          py::arg("cutoff") = 10.0, py::arg("gap_seconds") = 600.0, py::arg("thresholds") = py::none(),
          doc_sig("quality(obs, orbit=None, receiver=None, cutoff=10.0, gap_seconds=600.0, thresholds=None, "
                  "**analysis_options)",
                  kQualityDoc)
              .c_str());
}

}  // namespace skyrift
