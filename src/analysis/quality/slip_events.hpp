#pragma once
// Cycle slips as the report counts them: one event per satellite, phase signal and
// epoch, from the slip records of the multipath analysis.
#include <vector>

#include "analysis/multipath/cycle_slips.hpp"
#include "analysis/quality/quality_report.hpp"

namespace skyrift {

// The records' (satellite, phase, epoch) events, each once, in record order. A
// code-minus-phase record at a receiver clock jump is the jump, not a slip, and is left
// out. `above` stays true; the caller marks the events outside the passes.
std::vector<SlipEvent> slip_events(const std::vector<SlipRecord>& records, const std::vector<ClockJump>& jumps);

}  // namespace skyrift
