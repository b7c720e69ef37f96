#pragma once
// What the header and the epoch list say about the file as a whole.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/quality/quality_report.hpp"
#include "rinex/obs_data.hpp"

namespace skyrift {

// Indices of the observation epochs (flag 0 or 1, at least one satellite), in file order.
std::vector<uint32_t> observation_epochs(const RinexObsData& obs);

// The header's identity and INTERVAL as written, the observed spacing, the nominal
// interval (the header's when positive, else the observed one), the span and the
// damage a partial read kept.
FileFacts file_facts(const RinexObsData& obs, const std::vector<uint32_t>& epochs);

}  // namespace skyrift
