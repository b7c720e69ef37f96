#pragma once
// GLONASS FDMA frequency channels: the carrier frequencies of GLONASS bands 1 and 2
// depend on them, so every analysis resolves a satellite's channel here.
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <utility>

#include "rinex/types.hpp"

namespace skyrift {

// What a slot no source knows gets: channel 0 (the frequency of the band's centre) or
// no channel at all (its FDMA bands then have no frequency).
enum class UnknownGlonassSlot : uint8_t { ChannelZero, NoChannel };

// The sources of a satellite's channel, asked in this order: the caller's (slot,
// channel) pairs, the file's GLONASS SLOT / FRQ # map, the default channel table of
// slots 1..24; then `unknown` decides.
struct GlonassChannelSources {
    std::span<const std::pair<uint32_t, int8_t>> given = {};
    const std::map<uint32_t, int8_t>* file_slots = nullptr;
    UnknownGlonassSlot unknown = UnknownGlonassSlot::ChannelZero;
};

// GLONASS frequency channel of a satellite from `sources`; absent for every other system.
std::optional<int8_t> glonass_channel(Satellite satellite, const GlonassChannelSources& sources);

}  // namespace skyrift
