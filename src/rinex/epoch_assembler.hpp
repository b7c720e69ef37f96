#pragma once
// Shared by both record readers: one epoch at a time is assembled in scratch space,
// then written to the flat storage with satellites sorted and unique (a repeated
// satellite replaces the earlier) and codes sorted and unique (a repeated code in
// a code list replaces the earlier value, see CodeLayout).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "rinex/obs_data.hpp"

namespace skyrift {

class EpochAssembler {
public:
    explicit EpochAssembler(RinexObsData& data) : data_(data) {}

    // Observations of the satellite being added go to `pending()`, then `add_satellite`.
    std::vector<ObservationEntry>& pending() { return scratch_obs_; }
    void add_satellite(Satellite sat, std::size_t first_pending);
    void finish_epoch(const Epoch& epoch, uint8_t flag, std::optional<double> clock_offset);
    bool has_satellites() const { return !scratch_sats_.empty(); }
    // Forgets the epoch being assembled.
    void discard_epoch() {
        scratch_sats_.clear();
        scratch_obs_.clear();
    }

private:
    struct Pending {
        uint64_t key;  // satellite order, then file position
        uint32_t first, count;
        Satellite sat;
    };
    RinexObsData& data_;
    std::vector<Pending> scratch_sats_;
    std::vector<ObservationEntry> scratch_obs_;
};

}  // namespace skyrift
