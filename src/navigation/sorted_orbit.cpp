#include "navigation/sorted_orbit.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace skyrift {

namespace {
constexpr double kSecondsPerDay = 86400.0;
}

SortedOrbit::SortedOrbit(const std::vector<Sp3Record>& records) : records_(&records) {
    if (records.size() < kInterpolationNodes) return;
    entries_.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const double jd = julian_date(records[i].epoch);
        if (!std::isfinite(jd)) {
            use_general_rule_ = true;
            return;
        }
        entries_.push_back({jd, {jd * kSecondsPerDay, &records[i]}, static_cast<uint32_t>(i)});
    }
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        return a.jd != b.jd ? a.jd < b.jd : a.file_index < b.file_index;
    });
    // A repeated epoch contributes only its first record, as in the general rule.
    entries_.erase(std::unique(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.jd == b.jd; }),
                   entries_.end());
    // Distinct epochs closer than the tie tolerance (only possible for absurd dates)
    // would make the shortcut differ from the general rule: use the general rule there.
    for (std::size_t i = 1; i < entries_.size(); ++i) {
        if (entries_[i].node.time - entries_[i - 1].node.time < kNodeTieSeconds) use_general_rule_ = true;
    }
}

std::optional<Ecef> SortedOrbit::position(const Epoch& epoch) const {
    if (use_general_rule_) return interpolate_records(*records_, epoch);
    if (entries_.size() < kInterpolationNodes) return std::nullopt;
    const double target_jd = julian_date(epoch);
    if (!std::isfinite(target_jd)) return std::nullopt;

    struct Candidate {
        double distance;
        const Entry* entry;
    };
    const auto distance = [&](const Entry& e) { return std::fabs(e.jd - target_jd) * kSecondsPerDay; };
    // On each side of the target the distance grows monotonically. The nearest nine on a
    // side, plus any further entries tied with the ninth, contain that side's share of the
    // nine nearest overall.
    std::vector<Candidate> candidates;
    candidates.reserve(2 * kInterpolationNodes + 2);
    const auto split = std::lower_bound(entries_.begin(), entries_.end(), target_jd,
                                        [](const Entry& e, double jd) { return e.jd < jd; });
    const auto take_side = [&](auto first, auto last) {
        std::size_t taken = 0;
        double last_distance = 0.0;
        for (auto it = first; it != last; ++it, ++taken) {
            const double d = distance(*it);
            if (taken >= kInterpolationNodes && d != last_distance) break;
            candidates.push_back({d, &*it});
            last_distance = d;
        }
    };
    take_side(split, entries_.end());
    take_side(std::make_reverse_iterator(split), entries_.rend());

    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return a.distance != b.distance ? a.distance < b.distance : a.entry->file_index < b.entry->file_index;
    });
    NodeSet nodes;
    for (std::size_t i = 0; i < kInterpolationNodes; ++i) nodes[i] = candidates[i].entry->node;
    return evaluate_nodes(nodes, target_jd);
}

}  // namespace skyrift
