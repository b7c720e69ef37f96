#pragma once
// Satellite arcs for reflectometry: one satellite's samples in time order, cut where the
// track has a gap and where its elevation turns, so that every arc rises or sets.
#include <cstddef>
#include <span>
#include <vector>

namespace skyrift {

struct ElevationArc {
    std::size_t begin = 0;  // half-open index range into the samples
    std::size_t end = 0;
    bool rising = true;
};

// Cuts before a sample more than `max_gap` seconds after the previous one, and between
// the last sample of a rise and the first of a descent (and the reverse); the turning
// sample stays with the arc it ends. Steps of zero elevation keep the current direction;
// an arc without any elevation change counts as rising. Times must not decrease.
std::vector<ElevationArc> split_elevation_arcs(std::span<const double> times,
                                               std::span<const double> elevations, double max_gap);

}  // namespace skyrift
