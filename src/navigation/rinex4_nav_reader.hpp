#pragma once
// The record area of a RINEX 4 navigation file: frames opened by "> EPH G01 LNAV",
// "> STO ...", "> EOP ...", "> ION ...". EPH frames of the supported message types
// (LNAV, CNAV, CNV2, INAV, FNAV, D1, D2, FDMA, SBAS) give ephemerides; every other
// frame is skipped whole.
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "navigation/nav_record.hpp"

namespace skyrift {

// Appends the ephemerides of the frames in `lines` (the lines after the header).
void read_rinex4_frames(std::span<const std::string_view> lines, std::optional<int> leap_seconds,
                        std::vector<BroadcastEphemeris>& out);

}  // namespace skyrift
