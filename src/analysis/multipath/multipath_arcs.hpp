#pragma once
// Cutting a multipath series into continuous arcs (at gaps, jumps and slips, by
// rules that also drop short arcs) and removing each arc's bias.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace skyrift {

struct MultipathArcRules {
    double gap_seconds = 150.0;     // a larger time difference starts a new arc
    double jump_limit = 10.0;       // m; a larger raw jump starts a new arc
    double min_arc_seconds = 300.0; // shorter arcs are dropped
    std::size_t min_points = 10;    // arcs with fewer points are dropped
};

// What cut the series where an arc begins; a slip wins over a gap or jump at the same point.
enum class ArcStart : uint8_t { SeriesStart, Gap, Jump, Slip };

struct MultipathArc {
    std::size_t begin = 0, end = 0;  // [begin, end) indices into the series
    ArcStart start = ArcStart::SeriesStart;
};

struct MultipathArcSplit {
    std::vector<MultipathArc> kept;
    uint64_t slip_breaks = 0;  // points at which a detected slip started a new arc
};

// `slip_times`: ascending time stamps (ms) of slips on the series' phases, or empty. A
// point starts a new arc when a slip lies after the previous point and not after it.
MultipathArcSplit split_multipath_arcs(std::span<const int64_t> times_ms, std::span<const double> values,
                                       std::span<const int64_t> slip_times, const MultipathArcRules& rules);

// Residuals of one arc: value minus the centred moving mean over +-window/2 when a
// positive window is set and shorter than the arc, else minus the arc's plain mean.
void remove_arc_bias(std::span<const int64_t> times_ms, std::span<const double> values,
                     std::optional<double> window_seconds, std::span<double> residuals);

}  // namespace skyrift
