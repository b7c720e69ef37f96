#pragma once
// Satellite positions between SP3 epochs: a degree-8 polynomial through the nine
// tabulated epochs nearest in time, evaluated with Neville's scheme.
#include <array>
#include <optional>
#include <vector>

#include "navigation/sp3_data.hpp"
#include "utils/coordinates.hpp"

namespace skyrift {

inline constexpr std::size_t kInterpolationNodes = 9;
inline constexpr double kNodeTieSeconds = 1e-9;

// One tabulated point: its time (Julian date x 86400, seconds) and position.
struct OrbitNode {
    double time = 0.0;
    const Sp3Record* record = nullptr;
};
using NodeSet = std::array<OrbitNode, kInterpolationNodes>;

// Absent when the satellite has fewer than nine records (or fewer than nine distinct
// epochs), or when the target time is not a number.
std::optional<Ecef> interpolate_position(const Sp3Data& sp3, const Satellite& satellite, const Epoch& epoch);
std::optional<Ecef> interpolate_records(const std::vector<Sp3Record>& records, const Epoch& epoch);

// Nodes are given in order of increasing distance from the target; they are put in
// time order and the polynomial through them is evaluated at `target_jd`.
Ecef evaluate_nodes(NodeSet nodes, double target_jd);

}  // namespace skyrift
