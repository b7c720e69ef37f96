#include "rinex/obs_rows.hpp"

#include <algorithm>
#include <unordered_map>

#include "utils/worker_pool.hpp"

namespace skyrift {

namespace {

// Satellites of observation files have PRNs below 1000; others go through a map.
class SatelliteIndex {
public:
    explicit SatelliteIndex(const std::vector<Satellite>& satellites) : common_(kNumSystems * kCommonPrns, -1) {
        for (std::size_t i = 0; i < satellites.size(); ++i) {
            const Satellite s = satellites[i];
            if (s.prn < kCommonPrns) {
                common_[static_cast<std::size_t>(s.system) * kCommonPrns + s.prn] = static_cast<int16_t>(i);
            } else {
                others_.emplace(s, static_cast<int16_t>(i));
            }
        }
    }
    int16_t operator()(Satellite s) const {
        if (s.prn < kCommonPrns) return common_[static_cast<std::size_t>(s.system) * kCommonPrns + s.prn];
        return others_.at(s);
    }

private:
    static constexpr uint32_t kCommonPrns = 1000;
    std::vector<int16_t> common_;
    std::unordered_map<Satellite, int16_t> others_;
};

// Epochs per pool task: enough rows that a task outweighs its hand-over.
constexpr std::size_t kEpochsPerTask = 256;

}  // namespace

ObservationRowCategories observation_row_categories(const RinexObsData& data) {
    ObservationRowCategories c;
    c.satellites = data.distinct_satellites();
    std::vector<uint8_t> seen(kCodeSlots, 0);
    for (const ObservationEntry& o : data.observations) {
        uint8_t& slot = seen[code_slot(o.code)];
        if (slot) continue;
        slot = 1;
        c.codes.push_back(o.code);
    }
    std::sort(c.codes.begin(), c.codes.end());
    return c;
}

void fill_observation_rows(const RinexObsData& data, const ObservationRowCategories& categories,
                           const ObservationRowBuffers& out) {
    const SatelliteIndex satellite_index(categories.satellites);
    const std::vector<int32_t> code_index = code_index_table(categories.codes);
    const std::size_t tasks = (data.epochs.size() + kEpochsPerTask - 1) / kEpochsPerTask;
    WorkerPool::instance().parallel_for(tasks, [&](std::size_t task) {
        const std::size_t end = std::min(data.epochs.size(), (task + 1) * kEpochsPerTask);
        for (std::size_t e = task * kEpochsPerTask; e < end; ++e) {
            const EpochRecord& epoch = data.epochs[e];
            for (const SatelliteEntry& s : data.satellites_of(epoch)) {
                const int16_t satellite = satellite_index(s.satellite);
                for (uint32_t k = s.first_observation; k < s.first_observation + s.num_observations; ++k) {
                    const ObservationEntry& o = data.observations[k];
                    out.time_ms[k] = epoch.instant_ms;
                    out.satellite[k] = satellite;
                    out.code[k] = static_cast<int16_t>(code_index[code_slot(o.code)]);
                    out.value[k] = o.value();
                    out.lli[k] = indicator_cell(o.lli());
                    out.ssi[k] = indicator_cell(o.ssi());
                }
            }
        }
    });
}

}  // namespace skyrift
