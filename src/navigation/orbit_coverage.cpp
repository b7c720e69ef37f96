#include "navigation/orbit_coverage.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "navigation/orbit_interpolation.hpp"
#include "utils/format.hpp"
#include "utils/time.hpp"

namespace skyrift {

namespace {

constexpr double kUnixEpochJdSeconds = 2440587.5 * 86400.0;  // 1970-01-01T00:00:00 as Julian date x 86400

// Saturating at the time stamps' limits, as instant_ms does: orbits dated in nine-digit
// years exist in files, and llround is unspecified beyond the integer range.
int64_t clamped_ms(double ms) {
    const double limit = static_cast<double>(kMaxInstantMs);
    if (!(ms > -limit)) return -kMaxInstantMs;
    if (!(ms < limit)) return kMaxInstantMs;
    return std::llround(ms);
}

int64_t ms_from_jd_seconds(double seconds) { return clamped_ms((seconds - kUnixEpochJdSeconds) * 1000.0); }

int64_t ms_from_gps_seconds(double seconds) {
    static const double gps_origin_ms = static_cast<double>(instant_ms(Epoch{1980, 1, 6, 0, 0, 0.0}));
    return clamped_ms(gps_origin_ms + seconds * 1000.0);
}

void widen(std::optional<TimeSpanMs>& span, int64_t first, int64_t last) {
    if (!span) span = TimeSpanMs{first, last};
    span->first = std::min(span->first, first);
    span->last = std::max(span->last, last);
}

// "2020-06-24T23:45:00": whole seconds as they nearly always are, milliseconds otherwise.
std::string instant_text(int64_t ms) {
    std::string text = iso_text_from_ms(ms);
    if (!text.empty() && text.back() == 'Z') text.pop_back();
    if (text.size() > 4 && text.compare(text.size() - 4, 4, ".000") == 0) text.resize(text.size() - 4);
    return text;
}

std::string span_text(const TimeSpanMs& span) { return instant_text(span.first) + " to " + instant_text(span.last); }

std::string one_orbit_text(const char* name, const char* verb, const std::optional<TimeSpanMs>& span) {
    return std::string(name) + (span ? std::string(" ") + verb + " " + span_text(*span) : " gives no position");
}

// "SP3 orbit covers A to B and navigation data cover C to D GPS time".
std::string orbit_text(const OrbitCoverage& c) {
    std::string text;
    if (c.has_precise) text = one_orbit_text("SP3 orbit", "covers", c.precise);
    if (c.has_broadcast) {
        if (!text.empty()) text += " and ";
        text += one_orbit_text("navigation data", "cover", c.broadcast);
    }
    return text + " GPS time";
}

// Milliseconds of `observed` inside `span`.
double overlap_ms(const TimeSpanMs& observed, const TimeSpanMs& span) {
    const int64_t first = std::max(observed.first, span.first), last = std::min(observed.last, span.last);
    return last > first ? static_cast<double>(last - first) : 0.0;
}

bool contains(const TimeSpanMs& span, int64_t t) { return span.first <= t && t <= span.last; }

double covered_share(const OrbitCoverage& c) {
    std::array<TimeSpanMs, 2> spans{};
    std::size_t n = 0;
    for (const auto& s : {c.precise, c.broadcast})
        if (s) spans[n++] = *s;
    if (c.observed.last <= c.observed.first) {
        return std::any_of(spans.begin(), spans.begin() + n, [&](const TimeSpanMs& s) { return contains(s, c.observed.first); })
                   ? 1.0
                   : 0.0;
    }
    double covered = 0.0;
    for (std::size_t i = 0; i < n; ++i) covered += overlap_ms(c.observed, spans[i]);
    if (n == 2) {  // what both cover counts once
        const TimeSpanMs both{std::max(spans[0].first, spans[1].first), std::min(spans[0].last, spans[1].last)};
        if (both.last > both.first) covered -= overlap_ms(c.observed, both);
    }
    return std::clamp(covered / static_cast<double>(c.observed.last - c.observed.first), 0.0, 1.0);
}

// What the observations are called in a message, and the span they run.
std::string observed_text(const OrbitCoverage& c, std::string_view what) {
    return std::string(what) + " " + span_text(c.observed);
}

}  // namespace

std::optional<TimeSpanMs> precise_span(const Sp3Data& sp3) {
    std::optional<TimeSpanMs> span;
    for (const SatelliteRecords& o : sp3.orbits) {
        const auto records = record_span(o.records);
        if (!records || records->epochs < kInterpolationNodes) continue;  // gives no position at all
        widen(span, ms_from_jd_seconds(records->first - records->reach), ms_from_jd_seconds(records->last + records->reach));
    }
    return span;
}

std::optional<TimeSpanMs> broadcast_span(const NavData& nav) {
    std::optional<TimeSpanMs> span;
    for (const BroadcastEphemeris& e : nav.ephemerides) {
        if (!std::isfinite(e.reference) || !std::isfinite(e.max_age)) continue;
        widen(span, ms_from_gps_seconds(e.reference - e.max_age), ms_from_gps_seconds(e.reference + e.max_age));
    }
    return span;
}

OrbitCoverage orbit_coverage(const OrbitSource& orbit, const TimeSpanMs& observed) {
    OrbitCoverage c;
    c.observed = observed;
    c.has_precise = orbit.precise != nullptr;
    c.has_broadcast = orbit.broadcast != nullptr;
    if (orbit.precise) c.precise = precise_span(*orbit.precise);
    if (orbit.broadcast) c.broadcast = broadcast_span(*orbit.broadcast);
    c.share = covered_share(c);
    return c;
}

Result<OrbitCoverage> require_orbit_overlap(const OrbitSource& orbit, const TimeSpanMs& observed,
                                           std::string_view what) {
    OrbitCoverage c = orbit_coverage(orbit, observed);
    if (c.share > 0.0) return c;
    return GnssError::other(orbit_text(c) + ", " + observed_text(c, what) + "; no overlap");
}

std::string partial_coverage_text(const OrbitCoverage& coverage, std::string_view what) {
    // Rounded down, so that a share short of the whole never reads as 100.0%.
    const double percent = std::floor(coverage.share * 1000.0) / 10.0;
    return "only " + fmt_fixed(percent, 1) + "% of the " + std::string(what) + " (" + span_text(coverage.observed) +
           ") lie within the orbit's span: " + orbit_text(coverage) + "; satellites get no position outside it";
}

}  // namespace skyrift
