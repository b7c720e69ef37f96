#include "rinex/glonass_channels.hpp"

#include <array>

namespace skyrift {

namespace {

// Channels of GLONASS slots 1..24 when the file gives none.
constexpr std::array<int8_t, 24> kDefaultGlonassChannels = {
    1, -4, 5, 6, 1, -4, 5, 6, -2, -7, 0, -1, -2, -7, 0, -1, 4, -3, 3, 2, 4, -3, 3, 2};

}  // namespace

std::optional<int8_t> glonass_channel(const RinexHeader& header, Satellite satellite) {
    if (satellite.system != GnssSystem::GLONASS) return std::nullopt;
    if (const auto it = header.glonass_slots.find(satellite.prn); it != header.glonass_slots.end())
        return it->second;
    return default_glonass_channel(satellite.prn).value_or(int8_t{0});
}

std::optional<int8_t> default_glonass_channel(uint32_t slot) {
    if (slot >= 1 && slot <= kDefaultGlonassChannels.size()) return kDefaultGlonassChannels[slot - 1];
    return std::nullopt;
}

}  // namespace skyrift
