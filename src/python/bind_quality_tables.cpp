// The tables of QualityReport: pandas frames of its rows, numpy columns of its SNR.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "python/support/columns.hpp"
#include "python/support/quality_instance.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace skyrift {

namespace {

std::string letter(GnssSystem s) { return std::string(1, system_letter(s)); }

constexpr int64_t kNat = std::numeric_limits<int64_t>::min();

py::object times_column(const std::vector<int64_t>& ms) {
    return numpy_column<int64_t>(ms.size(), [&](std::size_t i) { return ms[i]; }).attr("view")("datetime64[ms]");
}

template <typename T>
double or_nan(const std::optional<T>& x) {
    return x ? static_cast<double>(*x) : std::numeric_limits<double>::quiet_NaN();
}

py::object frame(const py::dict& columns, const char* caller) {
    return import_extra("pandas", caller).attr("DataFrame")(columns);
}

// A frame with datetime64 columns, labelled as GPS time like every other such table.
py::object timed_frame(const py::dict& columns, const char* caller) {
    py::object f = frame(columns, caller);
    label_gps_time(f);
    return f;
}

py::object signals_frame(const PyQualityReport& self) {
    const auto& rows = self.report->signals;
    const std::size_t n = rows.size();
    auto floats = [&](auto get) { return numpy_column<double>(n, [&](std::size_t i) { return or_nan(get(rows[i])); }); };
    py::dict d;
    d["system"] = text_column(n, [&](std::size_t i) { return letter(rows[i].system); });
    d["code"] = text_column(n, [&](std::size_t i) { return rows[i].code.text(); });
    d["expected"] = floats([](const SignalQuality& s) { return s.expected; });
    d["expected_tracking"] = floats([](const SignalQuality& s) { return s.expected_tracking; });
    d["present"] = floats([](const SignalQuality& s) { return s.present; });
    d["completeness"] = floats([](const SignalQuality& s) { return s.completeness; });
    d["completeness_tracking"] = floats([](const SignalQuality& s) { return s.completeness_tracking; });
    d["slips"] = floats([](const SignalQuality& s) { return s.slips; });
    d["obs_per_slip"] = floats([](const SignalQuality& s) { return s.obs_per_slip; });
    d["mp_rms"] = floats([](const SignalQuality& s) { return s.mp_rms; });
    d["mp_wrms"] = floats([](const SignalQuality& s) { return s.mp_wrms; });
    d["snr_mean"] = floats([](const SignalQuality& s) { return s.snr_mean; });
    d["observed"] = numpy_column<int64_t>(n, [&](std::size_t i) { return static_cast<int64_t>(rows[i].observed); });
    return frame(d, "QualityReport.signals_to_pandas()");
}

py::object gaps_frame(const PyQualityReport& self) {
    std::vector<int64_t> start, end;
    for (const TimeRange& g : self.report->epochs.gaps) start.push_back(g.start_ms), end.push_back(g.end_ms);
    py::dict d;
    d["start"] = times_column(start);
    d["end"] = times_column(end);
    return timed_frame(d, "QualityReport.gaps_to_pandas()");
}

py::object satellites_frame(const PyQualityReport& self) {
    const auto& rows = self.report->satellites;
    const std::size_t n = rows.size();
    auto times = [&](auto get) {
        std::vector<int64_t> ms(n);
        for (std::size_t i = 0; i < n; ++i) ms[i] = get(rows[i]).value_or(kNat);
        return times_column(ms);
    };
    py::dict d;
    d["satellite"] = text_column(n, [&](std::size_t i) { return rows[i].satellite.id(); });
    d["system"] = text_column(n, [&](std::size_t i) { return letter(rows[i].satellite.system); });
    d["epochs"] = numpy_column<int64_t>(n, [&](std::size_t i) { return static_cast<int64_t>(rows[i].epochs); });
    d["first"] = times([](const SatelliteQuality& s) { return s.first_ms; });
    d["last"] = times([](const SatelliteQuality& s) { return s.last_ms; });
    d["first_above"] = times([](const SatelliteQuality& s) { return s.first_above_ms; });
    d["last_above"] = times([](const SatelliteQuality& s) { return s.last_above_ms; });
    d["expected"] = numpy_column<double>(n, [&](std::size_t i) { return or_nan(rows[i].expected); });
    d["slips"] = numpy_column<double>(n, [&](std::size_t i) { return or_nan(rows[i].slips); });
    return timed_frame(d, "QualityReport.satellites_to_pandas()");
}

// Satellite, start, end of every range `ranges_of` gives, satellite by satellite.
template <typename RangesOf>
py::object ranges_frame(const PyQualityReport& self, RangesOf ranges_of, const char* caller) {
    std::vector<std::string> satellites;
    std::vector<int64_t> start, end;
    for (const SatelliteQuality& s : self.report->satellites) {
        for (const TimeRange& r : ranges_of(s)) {
            satellites.push_back(s.satellite.id());
            start.push_back(r.start_ms);
            end.push_back(r.end_ms);
        }
    }
    py::dict d;
    d["satellite"] = text_column(satellites.size(), [&](std::size_t i) { return satellites[i]; });
    d["start"] = times_column(start);
    d["end"] = times_column(end);
    return timed_frame(d, caller);
}

py::object slips_frame(const PyQualityReport& self) {
    const auto& events = self.report->slips;
    const std::size_t n = events.size();
    std::vector<int64_t> times(n);
    for (std::size_t i = 0; i < n; ++i) times[i] = events[i].time_ms;
    py::dict d;
    d["satellite"] = text_column(n, [&](std::size_t i) { return events[i].satellite.id(); });
    d["signal"] = text_column(n, [&](std::size_t i) { return events[i].phase.text(); });
    d["time"] = times_column(times);
    d["above"] = numpy_column<bool>(n, [&](std::size_t i) { return events[i].above; });
    return timed_frame(d, "QualityReport.slips_to_pandas()");
}

py::object snr_bins_frame(const PyQualityReport& self) {
    const auto& bins = self.report->snr_bins;
    const std::size_t n = bins.size() * kSnrBins;
    auto bin = [&](std::size_t i) { return std::pair(&bins[i / kSnrBins], i % kSnrBins); };
    py::dict d;
    d["system"] = text_column(n, [&](std::size_t i) { return letter(bin(i).first->system); });
    d["code"] = text_column(n, [&](std::size_t i) { return bin(i).first->code.text(); });
    d["elevation_min"] = numpy_column<double>(n, [&](std::size_t i) { return 10.0 * static_cast<double>(bin(i).second); });
    d["elevation_max"] = numpy_column<double>(n, [&](std::size_t i) { return 10.0 * static_cast<double>(bin(i).second + 1); });
    d["count"] = numpy_column<int64_t>(n, [&](std::size_t i) { return static_cast<int64_t>(bin(i).first->count[bin(i).second]); });
    d["snr_mean"] = numpy_column<double>(n, [&](std::size_t i) { return bin(i).first->mean[bin(i).second]; });
    return frame(d, "QualityReport.snr_bins_to_pandas()");
}

// Every SNR observation of the report's epochs (of one S code when given), with the look
// angles of its satellite entry; text columns through dictionary codes, no string per row.
py::dict snr_columns(const PyQualityReport& self, py::handle code_arg) {
    std::optional<ObservationCode> only;
    if (!is_absent(code_arg)) {
        const std::string text = arg_str(code_arg, "code");
        only = parse_observation_code(text);
        if (!only || only->kind != ObservationKind::S)
            raise_value_error("code must be an SNR code such as S1C, got '" + text + "'");
    }
    const QualityReport& r = *self.report;
    const RinexObsData& obs = *r.obs;
    auto wanted = [&](const ObservationEntry& o) {
        return o.code.kind == ObservationKind::S && o.value() > 0.0 && (!only || o.code == *only);
    };
    std::size_t n = 0;
    std::vector<ObservationCode> codes;
    for (const uint32_t e : r.observation_epochs)
        for (const SatelliteEntry& s : obs.satellites_of(obs.epochs[e]))
            for (const ObservationEntry& o : obs.observations_of(s))
                if (wanted(o)) {
                    ++n;
                    if (std::find(codes.begin(), codes.end(), o.code) == codes.end()) codes.push_back(o.code);
                }
    std::sort(codes.begin(), codes.end());
    const std::vector<Satellite> satellites = obs.distinct_satellites();
    ColumnTable t(n);
    int32_t* satellite = t.text("satellite");
    int32_t* code = t.text("code");
    int64_t* time = t.times_ms("time");
    double* elevation = t.floats("elevation");
    double* azimuth = t.floats("azimuth");
    double* snr = t.floats("snr");
    std::size_t row = 0;
    for (const uint32_t e : r.observation_epochs) {
        const EpochRecord& epoch = obs.epochs[e];
        for (uint32_t s = epoch.first_satellite; s < epoch.first_satellite + epoch.num_satellites; ++s) {
            const Satellite sat = obs.satellite_entries[s].satellite;
            const auto sat_index = std::lower_bound(satellites.begin(), satellites.end(), sat) - satellites.begin();
            for (const ObservationEntry& o : obs.observations_of(obs.satellite_entries[s])) {
                if (!wanted(o)) continue;
                satellite[row] = static_cast<int32_t>(sat_index);
                code[row] = static_cast<int32_t>(std::lower_bound(codes.begin(), codes.end(), o.code) - codes.begin());
                time[row] = epoch.instant_ms;
                elevation[row] = r.entry_elevation.empty() ? std::nan("") : r.entry_elevation[s];
                azimuth[row] = r.entry_azimuth.empty() ? std::nan("") : r.entry_azimuth[s];
                snr[row] = o.value();
                ++row;
            }
        }
    }
    std::vector<std::string> satellite_texts, code_texts;
    for (const Satellite& sat : satellites) satellite_texts.push_back(sat.id());
    for (const ObservationCode& c : codes) code_texts.push_back(c.text());
    t.categories({satellite_texts, code_texts});
    return t.to_numpy();
}

}  // namespace

void register_quality_tables(py::module_& m) {
    auto cls = py::reinterpret_borrow<py::class_<PyQualityReport>>(m.attr("QualityReport"));
    auto method = [&](const char* name, auto fn, const char* doc) {
        cls.def(name, fn, doc_sig(std::string(name) + "($self)", doc).c_str());
    };
    method("signals_to_pandas", &signals_frame,
           "One row per system and pseudorange code: system, code, expected, expected_tracking, present, "
           "completeness, completeness_tracking, slips, obs_per_slip, mp_rms, mp_wrms, snr_mean (NaN where absent) "
           "and observed (at any elevation).");
    method("gaps_to_pandas", &gaps_frame, "The gaps: start, end (datetime64[ms]).");
    method("satellites_to_pandas", &satellites_frame,
           "One row per satellite observed or expected: satellite, system, epochs, first, last, first_above, "
           "last_above (NaT where absent), expected and slips (NaN where absent).");
    method("availability_to_pandas",
           [](const PyQualityReport& self) {
               return ranges_frame(self, [](const SatelliteQuality& s) { return s.tracked; },
                                   "QualityReport.availability_to_pandas()");
           },
           "When each satellite was tracked: satellite, start, end of every run of consecutive epochs with it.");
    method("passes_to_pandas",
           [](const PyQualityReport& self) {
               return ranges_frame(self, [](const SatelliteQuality& s) { return s.passes; },
                                   "QualityReport.passes_to_pandas()");
           },
           "When each satellite was above the cutoff by the orbit: satellite, start, end.");
    method("slips_to_pandas", &slips_frame,
           "Cycle-slip epochs: satellite, signal (the phase code), time, above (within a pass).");
    method("snr_bins_to_pandas", &snr_bins_frame,
           "Mean SNR per system, S code and 10-degree elevation bin: system, code, elevation_min, elevation_max, "
           "count, snr_mean (NaN for an empty bin).");
    cls.def("snr_to_numpy", &snr_columns, py::arg("code") = py::none(),
            doc_sig("snr_to_numpy($self, code=None)",
                    "Every SNR observation (of one S code when given) as numpy columns: satellite, code, time, "
                    "elevation, azimuth (NaN without elevations), snr (dB-Hz).")
                .c_str());
}

}  // namespace skyrift
