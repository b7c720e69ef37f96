#include "analysis/quality/orbit_span.hpp"

#include <algorithm>
#include <cmath>

#include "utils/time.hpp"

namespace skyrift {

namespace {

// 1980-01-06T00:00:00 on the time line of instant_ms.
constexpr int64_t kGpsOriginMs = 315964800000;

void widen(std::optional<TimeRange>& span, int64_t start_ms, int64_t end_ms) {
    if (!span) {
        span = TimeRange{start_ms, end_ms};
        return;
    }
    span->start_ms = std::min(span->start_ms, start_ms);
    span->end_ms = std::max(span->end_ms, end_ms);
}

}  // namespace

std::optional<TimeRange> orbit_span(const OrbitSource& orbit) {
    std::optional<TimeRange> span;
    if (orbit.precise) {
        if (const auto s = orbit.precise->time_span()) widen(span, instant_ms(s->first), instant_ms(s->second));
    }
    if (orbit.broadcast) {
        for (const BroadcastEphemeris& e : orbit.broadcast->ephemerides) {
            if (!std::isfinite(e.reference) || !std::isfinite(e.max_age)) continue;
            widen(span, kGpsOriginMs + std::llround((e.reference - e.max_age) * 1000.0),
                  kGpsOriginMs + std::llround((e.reference + e.max_age) * 1000.0));
        }
    }
    return span;
}

}  // namespace skyrift
