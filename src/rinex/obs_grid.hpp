#pragma once
// The observations as dense epoch × satellite grids, one per observation code: the
// layout that array-based RINEX readers hand out. Rows are the epoch records in file
// order, columns the distinct satellites; a cell without a value is NaN. The loss-of-lock
// and signal-strength indicators are digits, one byte a cell, -1 where absent: a day of
// indicators as doubles would weigh as much as the values.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "rinex/obs_cells.hpp"
#include "rinex/obs_data.hpp"

namespace skyrift {

struct ObsGridLayout {
    std::vector<Satellite> satellites;   // columns, in satellite order
    std::vector<ObservationCode> codes;  // one grid each, in code order
    std::vector<uint8_t> has_lli;        // per code: some value carries the indicator
    std::vector<uint8_t> has_ssi;
};

// Every code with a value in the file (or only `wanted`, those without a value
// included), for every satellite of the file (or, with `only_observing`, the
// satellites that have a value of one of the codes).
ObsGridLayout obs_grid_layout(const RinexObsData& data, std::optional<std::span<const ObservationCode>> wanted,
                              bool only_observing);

// Row-major buffers of epochs × layout.satellites values; lli and ssi may be null.
struct CodeGrid {
    double* values;
    int8_t* lli;
    int8_t* ssi;
};

// Fills one grid per layout code (same order) in one pass over the observations.
void fill_obs_grids(const RinexObsData& data, const ObsGridLayout& layout, std::span<const CodeGrid> grids);

}  // namespace skyrift
