#include "navigation/orbit_interpolation.hpp"

#include <algorithm>
#include <cmath>

namespace skyrift {

namespace {

constexpr double kSecondsPerDay = 86400.0;

using Column = std::array<double, kInterpolationNodes>;

// Neville's scheme, the three coordinates side by side; the evaluation order is fixed
// so that results match other implementations of the same rule to the last bit.
void neville(Column& x, Column& y, Column& z, const Column& t, const Column& d) {
    for (std::size_t m = 1; m < kInterpolationNodes; ++m) {
        for (std::size_t j = 0; j + m < kInterpolationNodes; ++j) {
            const double span = t[j + m] - t[j];
            x[j] = (x[j] * d[j + m] - d[j] * x[j + 1]) / span;
            y[j] = (y[j] * d[j + m] - d[j] * y[j + 1]) / span;
            z[j] = (z[j] * d[j + m] - d[j] * z[j + 1]) / span;
        }
    }
}

}  // namespace

Ecef evaluate_nodes(NodeSet nodes, double target_jd) {
    // Stable insertion sort by time; nearly equal times keep their distance order.
    for (std::size_t i = 1; i < kInterpolationNodes; ++i) {
        for (std::size_t j = i; j > 0 && nodes[j - 1].time - nodes[j].time >= kNodeTieSeconds; --j) {
            std::swap(nodes[j - 1], nodes[j]);
        }
    }
    const double target = target_jd * kSecondsPerDay;
    Column t{}, d{}, x{}, y{}, z{};
    for (std::size_t i = 0; i < kInterpolationNodes; ++i) {
        t[i] = nodes[i].time;
        d[i] = t[i] - target;
        x[i] = nodes[i].record->x;
        y[i] = nodes[i].record->y;
        z[i] = nodes[i].record->z;
    }
    neville(x, y, z, t, d);
    return {x[0], y[0], z[0]};
}

std::optional<RecordSpan> record_span(const std::vector<Sp3Record>& records) {
    std::vector<double> times;
    times.reserve(records.size());
    for (const Sp3Record& r : records) {
        const double jd = julian_date(r.epoch);
        if (std::isfinite(jd)) times.push_back(jd * kSecondsPerDay);
    }
    if (times.empty()) return std::nullopt;
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    RecordSpan span{times.front(), times.back(), kMinReachSeconds, times.size()};
    if (times.size() > 1) {
        std::vector<double> steps(times.size() - 1);
        for (std::size_t i = 1; i < times.size(); ++i) steps[i - 1] = times[i] - times[i - 1];
        // The median step: a gap in the records does not widen the reach.
        const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
        std::nth_element(steps.begin(), middle, steps.end());
        span.reach = std::max(*middle, kMinReachSeconds);
    }
    return span;
}

std::optional<Ecef> interpolate_records(const std::vector<Sp3Record>& records, const Epoch& epoch) {
    if (records.size() < kInterpolationNodes) return std::nullopt;
    return interpolate_records(records, record_span(records), epoch);
}

std::optional<Ecef> interpolate_records(const std::vector<Sp3Record>& records, const std::optional<RecordSpan>& span,
                                        const Epoch& epoch) {
    if (records.size() < kInterpolationNodes) return std::nullopt;
    const double target_jd = julian_date(epoch);
    if (!std::isfinite(target_jd)) return std::nullopt;
    if (!span || !span->covers(target_jd * kSecondsPerDay)) return std::nullopt;

    struct Candidate {
        double distance;
        OrbitNode node;
    };
    std::vector<Candidate> candidates;
    candidates.reserve(records.size());
    for (const Sp3Record& r : records) {
        const double jd = julian_date(r.epoch);
        if (!std::isfinite(jd)) continue;  // a record that cannot be placed in time is never a node
        candidates.push_back({std::fabs(jd - target_jd) * kSecondsPerDay, {jd * kSecondsPerDay, &r}});
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });

    // Files concatenated across midnight repeat an epoch; a repeated time would make a
    // Neville divisor zero, so only its first record (in distance order) becomes a node.
    NodeSet nodes;
    std::size_t count = 0;
    for (const Candidate& c : candidates) {
        const bool repeated = std::any_of(nodes.begin(), nodes.begin() + count, [&](const OrbitNode& n) {
            return std::fabs(n.time - c.node.time) < kNodeTieSeconds;
        });
        if (repeated) continue;
        nodes[count++] = c.node;
        if (count == kInterpolationNodes) return evaluate_nodes(nodes, target_jd);
    }
    return std::nullopt;
}

std::optional<Ecef> interpolate_position(const Sp3Data& sp3, const Satellite& satellite, const Epoch& epoch) {
    const auto* records = sp3.records_of(satellite);
    if (!records) return std::nullopt;
    return interpolate_records(*records, epoch);
}

}  // namespace skyrift
