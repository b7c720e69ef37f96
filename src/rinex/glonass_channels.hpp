#pragma once
// GLONASS FDMA frequency channels: the carrier frequencies of GLONASS bands 1 and 2
// depend on them, so every analysis resolves a satellite's channel here.
#include <cstdint>
#include <optional>

#include "rinex/header.hpp"
#include "rinex/types.hpp"

namespace skyrift {

// GLONASS frequency channel of a satellite: the file's slot map, else the default
// channel of slots 1..24, else 0. Absent for every other system.
std::optional<int8_t> glonass_channel(const RinexHeader& header, Satellite satellite);

// The default channel of GLONASS slots 1..24; absent for other slots.
std::optional<int8_t> default_glonass_channel(uint32_t slot);

}  // namespace skyrift
