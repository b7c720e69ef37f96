#include "analysis/multipath/signal_frequencies.hpp"

namespace skyrift {

namespace {

constexpr uint8_t kGps[] = {1, 2, 5};
constexpr uint8_t kGlonass[] = {1, 2, 3};
constexpr uint8_t kGalileo[] = {1, 5, 7, 8, 6};
constexpr uint8_t kBeidou[] = {2, 7, 6, 1, 5};
constexpr uint8_t kQzss[] = {1, 2, 5, 6};
constexpr uint8_t kSbas[] = {1, 5};
constexpr uint8_t kNavic[] = {5, 9};

}  // namespace

std::span<const uint8_t> band_preferences(GnssSystem system) {
    switch (system) {
        case GnssSystem::GPS: return kGps;
        case GnssSystem::GLONASS: return kGlonass;
        case GnssSystem::Galileo: return kGalileo;
        case GnssSystem::BeiDou: return kBeidou;
        case GnssSystem::QZSS: return kQzss;
        case GnssSystem::SBAS: return kSbas;
        case GnssSystem::NavIC: return kNavic;
        case GnssSystem::Mixed: return {};
    }
    return {};
}

}  // namespace skyrift
