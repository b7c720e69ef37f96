#include "analysis/quality/system_summary.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "analysis/quality/signal_table.hpp"
#include "utils/time.hpp"

namespace skyrift {

namespace {

std::string field(const char* format, double value) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

template <typename T>
std::string optional_field(const char* format, int width, const std::optional<T>& value) {
    if (value) return field(format, static_cast<double>(*value));
    return std::string(static_cast<std::size_t>(width - 1), ' ') + "-";
}

// "2020-06-25 00:00:00" from the ISO text.
std::string time_field(const std::optional<int64_t>& ms) {
    if (!ms) return std::string(18, ' ') + "-";
    std::string iso = iso_text_from_ms(*ms);
    iso[10] = ' ';
    return iso.substr(0, 19);
}

// The first code of each of the system's two lowest bands that have multipath RMS.
std::pair<const SignalQuality*, const SignalQuality*> multipath_pair(const std::vector<SignalQuality>& rows,
                                                                     GnssSystem system) {
    const SignalQuality* first = nullptr;
    const SignalQuality* second = nullptr;
    for (const SignalQuality& r : rows) {  // in code order: band, then attribute
        if (r.system != system || !r.mp_rms) continue;
        if (!first) {
            first = &r;
        } else if (!second && r.code.band != first->code.band) {
            second = &r;
        }
    }
    return {first, second};
}

std::vector<FlagResult> flags_of(const SystemSummary& s, const std::vector<Threshold>& thresholds) {
    std::vector<FlagResult> flags;
    for (const Threshold& t : thresholds) {
        std::optional<double> value;
        if (t.name == "completeness") value = s.completeness;
        if (t.name == "mp1") value = s.mp1;
        if (t.name == "mp2") value = s.mp2;
        if (t.name == "obs_per_slip") value = s.obs_per_slip;
        flags.push_back({t.name, value ? std::optional(judge(t, *value)) : std::nullopt});
    }
    return flags;
}

// hrs: the time the epochs cover, the span plus one interval (a day of 30-s epochs
// from 00:00:00 to 23:59:30 is 24 hours).
std::string line_of(const SystemSummary& s, const FileFacts& file) {
    const double hours = (file.span_seconds + file.interval.value_or(0.0)) / 3600.0;
    std::string line = std::string(system_abbreviation(s.system)) + " " + time_field(file.first_ms) + " " +
                       time_field(file.last_ms) + " " + field("%6.2f", hours) + " " +
                       optional_field("%5.0f", 5, file.interval) + " " + optional_field("%7.0f", 7, s.expected) + " " +
                       optional_field("%7.0f", 7, s.present) + " " + optional_field("%6.1f", 6, s.completeness) + " " +
                       optional_field("%5.2f", 5, s.mp1) + " " + optional_field("%5.2f", 5, s.mp2) + " " +
                       optional_field("%7.0f", 7, s.obs_per_slip);
    return line;
}

}  // namespace

std::string summary_header() {
    return "sys first               last                   hrs    dt   #expt   #have      %   mp1   mp2  o/slps";
}

std::vector<SystemSummary> system_summaries(const std::vector<GnssSystem>& systems,
                                            const std::vector<SignalQuality>& signals, const FileFacts& file,
                                            const std::vector<Threshold>& thresholds) {
    std::vector<SystemSummary> out;
    for (const GnssSystem system : systems) {
        SystemSummary s;
        s.system = system;
        // The signal with the most observations above the cutoff (at any elevation
        // without elevations) gives #have and o/slps.
        const SignalQuality* main = nullptr;
        auto count = [](const SignalQuality& r) { return r.present ? *r.present : r.observed; };
        for (const SignalQuality& r : signals) {
            if (r.system != system) continue;
            if (r.expected) s.expected = std::max(s.expected.value_or(0), *r.expected);
            if (!main || count(r) > count(*main)) main = &r;
        }
        if (main && s.expected) {
            s.present = count(*main);
            if (*s.expected > 0) s.completeness = 100.0 * static_cast<double>(*s.present) / static_cast<double>(*s.expected);
        }
        if (main) {
            s.have_code = main->code;
            s.slips = main->slips;
            s.obs_per_slip = main->obs_per_slip;
        }
        const auto [mp1, mp2] = multipath_pair(signals, system);
        if (mp1) s.mp1_code = mp1->code, s.mp1 = mp1->mp_rms;
        if (mp2) s.mp2_code = mp2->code, s.mp2 = mp2->mp_rms;
        s.line = line_of(s, file);
        s.flags = flags_of(s, thresholds);
        out.push_back(std::move(s));
    }
    return out;
}

}  // namespace skyrift
