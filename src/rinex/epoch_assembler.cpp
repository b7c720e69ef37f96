#include "rinex/epoch_assembler.hpp"

#include <algorithm>

namespace skyrift {

void EpochAssembler::add_satellite(Satellite sat, std::size_t first_pending) {
    const uint64_t key = (uint64_t(static_cast<unsigned char>(system_letter(sat.system))) << 56) |
                         (uint64_t(sat.prn) << 24) | (scratch_sats_.size() & 0xFFFFFF);
    scratch_sats_.push_back({key, static_cast<uint32_t>(first_pending),
                             static_cast<uint32_t>(scratch_obs_.size() - first_pending), sat});
}

void EpochAssembler::finish_epoch(const Epoch& epoch, uint8_t flag, std::optional<double> clock_offset) {
    std::sort(scratch_sats_.begin(), scratch_sats_.end(), [](const Pending& a, const Pending& b) { return a.key < b.key; });
    EpochRecord record;
    record.epoch = epoch;
    record.instant_ms = instant_ms(epoch);
    record.clock_offset = clock_offset;
    record.flag = flag;
    record.first_satellite = static_cast<uint32_t>(data_.satellite_entries.size());
    for (std::size_t i = 0; i < scratch_sats_.size(); ++i) {
        const Pending& p = scratch_sats_[i];
        if (i + 1 < scratch_sats_.size() && scratch_sats_[i + 1].sat == p.sat) continue;  // a later line replaces it
        data_.satellite_entries.push_back({p.sat, static_cast<uint32_t>(data_.observations.size()), p.count});
        data_.observations.insert(data_.observations.end(), scratch_obs_.begin() + p.first,
                                  scratch_obs_.begin() + p.first + p.count);
    }
    record.num_satellites = static_cast<uint32_t>(data_.satellite_entries.size() - record.first_satellite);
    data_.epochs.push_back(record);
    scratch_sats_.clear();
    scratch_obs_.clear();
}

}  // namespace skyrift
