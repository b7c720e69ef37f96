#pragma once
// The whole code-multipath analysis of one observation file.
#include "analysis/multipath/analyzer_config.hpp"
#include "analysis/multipath/multipath_results.hpp"
#include "utils/result.hpp"

namespace skyrift {

// Decimation, sampling interval, slip detection, signal pairs, raw multipath values,
// arcs, bias removal, emission and statistics. One satellite per task of the worker
// pool, joined in a fixed order: the result does not depend on the number of workers.
// Touches no shared state.
Result<AnalysisOutput> run_multipath_analysis(const AnalyzerConfig& config);

}  // namespace skyrift
