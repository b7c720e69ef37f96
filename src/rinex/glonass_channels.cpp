#include "rinex/glonass_channels.hpp"

#include <array>

namespace skyrift {

namespace {

// Channels of GLONASS slots 1..24 when no other source gives one.
constexpr std::array<int8_t, 24> kDefaultGlonassChannels = {
    1, -4, 5, 6, 1, -4, 5, 6, -2, -7, 0, -1, -2, -7, 0, -1, 4, -3, 3, 2, 4, -3, 3, 2};

std::optional<int8_t> given_channel(std::span<const std::pair<uint32_t, int8_t>> given, uint32_t slot) {
    for (const auto& [s, channel] : given)
        if (s == slot) return channel;  // the first pair naming the slot wins
    return std::nullopt;
}

std::optional<int8_t> file_channel(const std::map<uint32_t, int8_t>* file_slots, uint32_t slot) {
    if (!file_slots) return std::nullopt;
    const auto it = file_slots->find(slot);
    return it != file_slots->end() ? std::optional(it->second) : std::nullopt;
}

std::optional<int8_t> default_channel(uint32_t slot) {
    if (slot >= 1 && slot <= kDefaultGlonassChannels.size()) return kDefaultGlonassChannels[slot - 1];
    return std::nullopt;
}

}  // namespace

std::optional<int8_t> glonass_channel(Satellite satellite, const GlonassChannelSources& sources) {
    if (satellite.system != GnssSystem::GLONASS) return std::nullopt;
    const uint32_t slot = satellite.prn;
    if (const auto c = given_channel(sources.given, slot)) return c;
    if (const auto c = file_channel(sources.file_slots, slot)) return c;
    if (const auto c = default_channel(slot)) return c;
    if (sources.unknown == UnknownGlonassSlot::ChannelZero) return int8_t{0};
    return std::nullopt;
}

}  // namespace skyrift
