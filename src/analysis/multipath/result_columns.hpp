#pragma once
// The results of a multipath analysis as columns, one row per estimate or slip in
// stored order, written straight into buffers the caller owns (numpy arrays in the
// bindings). Text columns are dictionary-coded: each row holds an index into the
// column's distinct texts, which are returned in their natural order.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/multipath/multipath_results.hpp"

namespace skyrift {

struct EstimateColumnBuffers {
    int32_t* satellite;  // "G05", categories in satellite order
    int32_t* system;     // "G"
    int32_t* signal;     // series key "GPSM1C"
    int32_t* code;       // pseudorange code "C1C"
    int64_t* time_ms;    // milliseconds since 1970-01-01 (file time scale)
    double* mp;
    double* elevation;   // NaN when no orbit gave the estimate a position
    double* azimuth;
    double* snr;         // NaN when the estimate has none
    int64_t* arc;        // arc number: estimates of one arc share it
    int32_t* arc_start;  // "start", "gap", "jump" or "slip": what began the arc
};

struct EstimateCategories {
    std::vector<std::string> satellite, system, signal, code, arc_start;
};

EstimateCategories fill_estimate_columns(std::span<const EstimateRecord> estimates,
                                         const EstimateColumnBuffers& out);

struct SlipColumnBuffers {
    int32_t* satellite;
    int32_t* system;
    int32_t* method;   // "gf", "code_phase", "lli", "doppler"
    int32_t* signal;   // first signal of the record, "" when it has none
    int64_t* time_ms;
    double* magnitude;
    double* threshold;
};

struct SlipCategories {
    std::vector<std::string> satellite, system, method, signal;
};

SlipCategories fill_slip_columns(std::span<const SlipRecord> slips, const SlipColumnBuffers& out);

}  // namespace skyrift
