#include "analysis/quality/clock_jumps.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include "analysis/multipath/same_signal_phase.hpp"
#include "utils/constants.hpp"

namespace skyrift {

namespace {

constexpr double kLightMillisecond = kSpeedOfLight * 1e-3;

// Code minus phase (m) of one signal of one satellite entry, or none.
std::optional<double> code_minus_phase(const RinexObsData& obs, const SatelliteEntry& entry, const ObservationEntry& code,
                                       ObservationCode phase_code, double wavelength) {
    const ObservationEntry* phase = obs.find_observation(entry, phase_code);
    if (!phase) return std::nullopt;
    if (phase->lli() != kNoIndicator && (phase->lli() & 1)) return std::nullopt;
    return code.value() - wavelength * phase->value();
}

// The change of every signal both entries have; one change per signal. A code goes with
// the phase the multipath analysis pairs it with (RINEX 2's P1 and P2, read as C1P and
// C2P, with L1C and L2C).
void changes_between(const RinexObsData& obs, const SatelliteTrack& track, const SatelliteEntry& before,
                     const SatelliteEntry& now, std::vector<double>& changes) {
    for (const ObservationEntry& o : obs.observations_of(now)) {
        if (o.code.kind != ObservationKind::C) continue;
        const ObservationEntry* earlier_code = obs.find_observation(before, o.code);
        if (!earlier_code) continue;
        const auto phase = same_signal_phase(track.codes, o.code);
        if (!phase) continue;
        const auto f = carrier_frequency(system_letter(now.satellite.system), o.code.band, track.channel);
        if (!f) continue;
        const double wavelength = kSpeedOfLight / *f;
        const auto a = code_minus_phase(obs, before, *earlier_code, *phase, wavelength);
        const auto b = a ? code_minus_phase(obs, now, o, *phase, wavelength) : std::nullopt;
        if (b) changes.push_back(*b - *a);
    }
}

// The whole number of milliseconds every change lies near, or 0.
int32_t common_jump(std::vector<double>& changes, std::size_t satellites, const ClockJumpRules& rules) {
    if (satellites < rules.min_satellites || changes.empty()) return 0;
    const auto middle = changes.begin() + static_cast<std::ptrdiff_t>(changes.size() / 2);
    std::nth_element(changes.begin(), middle, changes.end());
    const double ms = std::round(*middle / kLightMillisecond);
    if (ms == 0.0 || !std::isfinite(ms) || std::fabs(ms) > 1e6) return 0;
    for (const double c : changes)
        if (std::fabs(c - ms * kLightMillisecond) > rules.tolerance_m) return 0;
    return static_cast<int32_t>(ms);
}

}  // namespace

std::vector<ClockJump> detect_clock_jumps(const RinexObsData& obs, const std::vector<uint32_t>& epochs,
                                          const std::vector<SatelliteTrack>& tracks, const ClockJumpRules& rules) {
    std::vector<ClockJump> jumps;
    std::vector<double> changes;
    for (std::size_t k = 1; k < epochs.size(); ++k) {
        const EpochRecord& before = obs.epochs[epochs[k - 1]];
        const EpochRecord& now = obs.epochs[epochs[k]];
        changes.clear();
        std::size_t satellites = 0;
        for (const SatelliteEntry& entry : obs.satellites_of(now)) {
            const SatelliteEntry* earlier = obs.find_satellite(before, entry.satellite);
            if (!earlier) continue;
            const auto track = std::lower_bound(tracks.begin(), tracks.end(), entry.satellite,
                                                [](const SatelliteTrack& t, const Satellite& s) { return t.satellite < s; });
            if (track == tracks.end() || !(track->satellite == entry.satellite)) continue;
            const std::size_t had = changes.size();
            changes_between(obs, *track, *earlier, entry, changes);
            if (changes.size() > had) ++satellites;
        }
        if (const int32_t ms = common_jump(changes, satellites, rules)) jumps.push_back({now.instant_ms, ms});
    }
    return jumps;
}

}  // namespace skyrift
