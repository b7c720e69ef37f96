#pragma once
// The whole quality control of one observation file.
#include "analysis/quality/quality_report.hpp"
#include "utils/result.hpp"

namespace skyrift {

// File facts, epoch completeness, the multipath analysis (with the orbit and cutoff
// when elevations can be had), every satellite's passes and observations (one pool
// task each, beside the multipath analysis), clock jumps, the per-signal rows and the
// system summaries. What the input cannot give is absent and named in `missing`.
// Fails only for a file without observation epochs.
Result<QualityReport> run_quality(const QualityInput& input, const QualityOptions& options);

}  // namespace skyrift
