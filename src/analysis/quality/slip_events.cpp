#include "analysis/quality/slip_events.hpp"

#include <algorithm>
#include <tuple>

namespace skyrift {

std::vector<SlipEvent> slip_events(const std::vector<SlipRecord>& records, const std::vector<ClockJump>& jumps) {
    std::vector<int64_t> jump_times;
    for (const ClockJump& j : jumps) jump_times.push_back(j.time_ms);
    std::sort(jump_times.begin(), jump_times.end());
    std::vector<SlipEvent> events;
    for (const SlipRecord& r : records) {
        if (r.method == SlipMethod::CodePhase && std::binary_search(jump_times.begin(), jump_times.end(), r.time_ms))
            continue;
        for (uint8_t i = 0; i < r.num_signals; ++i) {
            if (r.signals[i].kind != ObservationKind::L || !(r.attributed >> i & 1)) continue;
            events.push_back({r.satellite, r.signals[i], r.time_ms, true});
        }
    }
    // Records come by time, then satellite: one stable sort by the event's identity and
    // a sweep keep the first of each.
    auto key = [](const SlipEvent& e) {
        return std::tuple(e.time_ms, system_letter(e.satellite.system), e.satellite.prn, e.phase);
    };
    std::stable_sort(events.begin(), events.end(), [&](const SlipEvent& a, const SlipEvent& b) { return key(a) < key(b); });
    events.erase(std::unique(events.begin(), events.end(),
                             [&](const SlipEvent& a, const SlipEvent& b) { return key(a) == key(b); }),
                 events.end());
    return events;
}

}  // namespace skyrift
