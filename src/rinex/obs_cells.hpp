#pragma once
// What the array layouts of the observations (grids and long rows) share: a direct
// table from observation code to index, and how an indicator digit goes into a cell.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "rinex/obs_data.hpp"

namespace skyrift {

// An indicator cell with no indicator.
inline constexpr int8_t kAbsentIndicatorCell = -1;

inline int8_t indicator_cell(uint8_t digit) {
    return digit == kNoIndicator ? kAbsentIndicatorCell : static_cast<int8_t>(digit);
}

// A code's slot in a flat table over (kind, band digit, attribute byte). Bands are the
// single digits 0-9 that codes are parsed from; the clamp only keeps the table in range.
inline constexpr std::size_t kCodeSlots = 5 * 10 * 256;
inline std::size_t code_slot(ObservationCode c) {
    return (static_cast<std::size_t>(c.kind) * 10 + std::min<std::size_t>(c.band, 9)) * 256 +
           static_cast<unsigned char>(c.attribute);
}

// Index into `codes` per code slot, -1 for codes not among them.
inline std::vector<int32_t> code_index_table(std::span<const ObservationCode> codes) {
    std::vector<int32_t> table(kCodeSlots, -1);
    for (std::size_t i = 0; i < codes.size(); ++i) table[code_slot(codes[i])] = static_cast<int32_t>(i);
    return table;
}

}  // namespace skyrift
