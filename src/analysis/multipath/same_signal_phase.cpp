#include "analysis/multipath/same_signal_phase.hpp"

namespace skyrift {

std::optional<ObservationCode> same_signal_phase(std::span<const ObservationCode> satellite_codes,
                                                 ObservationCode code) {
    std::optional<ObservationCode> first_on_band;
    for (const ObservationCode& c : satellite_codes) {
        if (c.kind != ObservationKind::L || c.band != code.band) continue;
        if (c.attribute == code.attribute) return c;
        if (!first_on_band) first_on_band = c;  // sorted: the smallest attribute comes first
    }
    return first_on_band;
}

}  // namespace skyrift
