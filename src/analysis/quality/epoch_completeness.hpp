#pragma once
// Epochs expected over the file's span at the nominal interval, epochs present, and the
// breaks between them: gaps (longer than gap_seconds) and holes (shorter ones).
#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/quality/quality_report.hpp"
#include "rinex/obs_data.hpp"

namespace skyrift {

// A break is a step between consecutive distinct epochs longer than 1.5 intervals (at
// least one epoch missing).
EpochCompleteness epoch_completeness(const RinexObsData& obs, const std::vector<uint32_t>& epochs,
                                     std::optional<double> interval, double gap_seconds);

// Epochs on the nominal grid between the first and last epoch: span / interval + 1.
uint64_t expected_epoch_count(double span_seconds, double interval);

}  // namespace skyrift
