#pragma once
// The two observation record readers; both continue on the header reader's line source.
#include "io/line_source.hpp"
#include "rinex/obs_data.hpp"
#include "utils/result.hpp"

namespace skyrift {

// RINEX 2: epoch blocks (epoch line, satellite continuation lines, observation lines).
Result<Ok> read_rinex2_records(LineSource& source, RinexObsData& data);

// RINEX 3 and 4: "> " epoch lines, each followed by one line per satellite.
Result<Ok> read_rinex3_records(LineSource& source, RinexObsData& data);

}  // namespace skyrift
