#include "navigation/sorted_orbit.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

namespace skyrift {

namespace {
constexpr double kSecondsPerDay = 86400.0;
}

SortedOrbit::SortedOrbit(const std::vector<Sp3Record>& records) : records_(&records) {
    if (records.size() < kInterpolationNodes) return;
    span_ = record_span(records);
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
    if (use_general_rule_) return interpolate_records(*records_, span_, epoch);
    if (entries_.size() < kInterpolationNodes) return std::nullopt;
    const double target_jd = julian_date(epoch);
    if (!std::isfinite(target_jd)) return std::nullopt;
    if (!span_ || !span_->covers(target_jd * kSecondsPerDay)) return std::nullopt;

    struct Candidate {
        double distance;
        const Entry* entry;
    };
    using Side = std::array<Candidate, kInterpolationNodes>;
    const auto distance = [&](const Entry& e) { return std::fabs(e.jd - target_jd) * kSecondsPerDay; };
    // On each side of the target the distance grows with the time offset, so each side's
    // share of the nine nearest is among its first nine entries. Equal distances within a
    // side (distinct epochs rounding to the same distance, never seen with real dates)
    // would need the file-order tie break inside the side: left to the general rule.
    const auto take_side = [&](auto first, auto last, Side& out, std::size_t& n) {
        for (auto it = first; it != last; ++it) {
            const double d = distance(*it);
            if (n > 0 && d == out[n - 1].distance) return false;
            if (n == kInterpolationNodes) return true;
            out[n++] = {d, &*it};
        }
        return true;
    };
    const auto split = std::lower_bound(entries_.begin(), entries_.end(), target_jd,
                                        [](const Entry& e, double jd) { return e.jd < jd; });
    Side later, earlier;
    std::size_t n_later = 0, n_earlier = 0;
    if (!take_side(split, entries_.end(), later, n_later) ||
        !take_side(std::make_reverse_iterator(split), entries_.rend(), earlier, n_earlier)) {
        return interpolate_records(*records_, span_, epoch);
    }
    // Merge by distance; across sides equal distances go to the record earlier in the file.
    NodeSet nodes;
    std::size_t i = 0, j = 0;
    for (std::size_t k = 0; k < kInterpolationNodes; ++k) {
        const bool take_later =
            j == n_earlier ||
            (i < n_later && (later[i].distance < earlier[j].distance ||
                             (later[i].distance == earlier[j].distance &&
                              later[i].entry->file_index < earlier[j].entry->file_index)));
        nodes[k] = take_later ? later[i++].entry->node : earlier[j++].entry->node;
    }
    return evaluate_nodes(nodes, target_jd);
}

}  // namespace skyrift
