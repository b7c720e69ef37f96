#pragma once
// Satellite positions between SP3 epochs: a degree-8 polynomial through the nine
// tabulated epochs nearest in time, evaluated with Neville's scheme. Positions are given
// only within reach of the satellite's records: a polynomial of degree 8 run hours past
// its nodes leaves the solar system.
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

// The times (Julian date x 86400, seconds) between which a satellite's records give
// positions: its first and last record widened by `reach`, one record spacing (the
// median step between its distinct epochs) and at least kMinReachSeconds.
inline constexpr double kMinReachSeconds = 900.0;
inline constexpr double kSpanToleranceSeconds = 1e-3;
struct RecordSpan {
    double first = 0.0, last = 0.0;  // seconds of the earliest and latest record
    double reach = kMinReachSeconds;
    std::size_t epochs = 0;  // distinct record epochs
    // To the millisecond: Julian dates in seconds carry rounding of some 3e-5 s.
    bool covers(double seconds) const {
        return seconds >= first - reach - kSpanToleranceSeconds && seconds <= last + reach + kSpanToleranceSeconds;
    }
};
// Absent when no record can be placed in time.
std::optional<RecordSpan> record_span(const std::vector<Sp3Record>& records);

// Absent when the target lies beyond the reach of the records (see RecordSpan), when the
// satellite has fewer than nine records (or fewer than nine distinct
// epochs), or when the target time is not a number.
std::optional<Ecef> interpolate_position(const Sp3Data& sp3, const Satellite& satellite, const Epoch& epoch);
std::optional<Ecef> interpolate_records(const std::vector<Sp3Record>& records, const Epoch& epoch);
// The same with record_span(records) computed once by the caller, which asks many times.
std::optional<Ecef> interpolate_records(const std::vector<Sp3Record>& records, const std::optional<RecordSpan>& span,
                                        const Epoch& epoch);

// Nodes are given in order of increasing distance from the target; they are put in
// time order and the polynomial through them is evaluated at `target_jd`.
Ecef evaluate_nodes(NodeSet nodes, double target_jd);

}  // namespace skyrift
