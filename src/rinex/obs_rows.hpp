#pragma once
// The observations as one long table, a row per stored observation in storage order
// (epochs in file order, satellites and codes sorted within each): the layout of
// dataframe-based readers. Satellites and codes are dictionary-coded: small integer
// indices into their sorted distinct values.
#include <cstdint>
#include <vector>

#include "rinex/obs_cells.hpp"
#include "rinex/obs_data.hpp"

namespace skyrift {

struct ObservationRowBuffers {
    int64_t* time_ms;    // the epoch's time stamp
    int16_t* satellite;  // index into ObservationRowCategories::satellites
    int16_t* code;       // index into ObservationRowCategories::codes
    double* value;
    int8_t* lli;         // 0-9, or kAbsentIndicatorCell
    int8_t* ssi;
};

struct ObservationRowCategories {
    std::vector<Satellite> satellites;   // in satellite order
    std::vector<ObservationCode> codes;  // in code order
};

// The distinct satellites and codes of the stored observations.
ObservationRowCategories observation_row_categories(const RinexObsData& data);

// Fills data.observations.size() rows, slices of epochs side by side on the worker pool.
void fill_observation_rows(const RinexObsData& data, const ObservationRowCategories& categories,
                           const ObservationRowBuffers& out);

}  // namespace skyrift
