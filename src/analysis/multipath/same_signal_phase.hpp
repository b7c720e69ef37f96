#pragma once
// The carrier phase that belongs to a pseudorange. The multipath pair, the
// code-minus-phase slip test and the cutting of series at slips all ask here, so the
// three agree on which phase a code goes with.
#include <optional>
#include <span>

#include "rinex/types.hpp"

namespace skyrift {

// The phase of the same band and attribute as `code` when the satellite has it in any
// epoch; otherwise the satellite's phase of the same band with the smallest attribute
// (RINEX 2 names no tracking mode: P1 and P2 become C1P and C2P, whose phases are L1C
// and L2C); none when the satellite has no phase on the band. `satellite_codes`: every
// code the satellite has, sorted.
std::optional<ObservationCode> same_signal_phase(std::span<const ObservationCode> satellite_codes,
                                                 ObservationCode code);

}  // namespace skyrift
