#include "analysis/reflector/reflector_arcs.hpp"

#include <algorithm>

namespace skyrift {

std::vector<ElevationArc> split_elevation_arcs(std::span<const double> times,
                                               std::span<const double> elevations, double max_gap) {
    const std::size_t n = std::min(times.size(), elevations.size());
    std::vector<ElevationArc> arcs;
    if (n == 0) return arcs;
    ElevationArc current{0, 0, true};
    int direction = 0;  // +1 rising, -1 setting, 0 not yet known
    auto close = [&](std::size_t end) {
        current.end = end;
        current.rising = direction >= 0;
        arcs.push_back(current);
        current = ElevationArc{end, end, true};
        direction = 0;
    };
    for (std::size_t i = 1; i < n; ++i) {
        if (times[i] - times[i - 1] > max_gap) {
            close(i);
            continue;
        }
        const double step = elevations[i] - elevations[i - 1];
        const int d = step > 0.0 ? 1 : (step < 0.0 ? -1 : 0);
        if (d == 0) continue;
        if (direction != 0 && d != direction) {
            close(i);
            direction = d;
            continue;
        }
        direction = d;
    }
    close(n);
    return arcs;
}

}  // namespace skyrift
