#pragma once
// One teqc-style line per system and its pass/warn/fail flags.
#include <string>
#include <vector>

#include "analysis/quality/quality_report.hpp"

namespace skyrift {

// The column heads of the summary lines.
std::string summary_header();

// #expt is the system's expected count; #have and o/slps are those of its signal with
// the most observations above the cutoff (as Anubis counts its summary); mp1 and mp2 are
// the multipath RMS of the first code of the system's two lowest bands with multipath
// statistics.
std::vector<SystemSummary> system_summaries(const std::vector<GnssSystem>& systems,
                                            const std::vector<SignalQuality>& signals, const FileFacts& file,
                                            const std::vector<Threshold>& thresholds);

}  // namespace skyrift
