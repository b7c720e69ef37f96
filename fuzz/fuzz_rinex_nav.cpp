// RINEX navigation files (2.x, 3.x and 4.00 frames) through the input layer, then what
// users ask of them: the satellites, and positions at and around every ephemeris'
// reference time. The index must tile the ephemerides in the order the selection
// searches; an ephemeris serves the times within its age; a position is finite or
// absent; the cursor that serves batches gives the one-off query's bits.
#include <cmath>
#include <cstring>
#include <optional>

#include "fuzz_support.hpp"
#include "navigation/nav_data.hpp"
#include "navigation/rinex_nav_reader.hpp"

namespace {

using namespace skyrift;

// Positions integrate GLONASS orbits from scratch: enough ephemerides to reach every
// path, few enough to keep an input fast.
constexpr std::size_t kMostEphemerides = 48;
constexpr double kGpsOriginDaysAfter1970 = 3657.0;

// The calendar epoch `t` seconds after the GPS origin; days carry into months and
// years. Absent beyond the calendar fields' reach.
std::optional<Epoch> epoch_after_gps_origin(double t) {
    const double days = std::floor(t / 86400.0) + kGpsOriginDaysAfter1970;
    if (!(days >= 0.0 && days < 1e6)) return std::nullopt;
    return Epoch{1970, 1, 1 + static_cast<uint32_t>(days), 0, 0, t - (days - kGpsOriginDaysAfter1970) * 86400.0};
}

bool finite(const Ecef& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

bool same_bits(const std::optional<Ecef>& a, const std::optional<Ecef>& b) {
    return a.has_value() == b.has_value() && (!a || std::memcmp(&*a, &*b, sizeof(Ecef)) == 0);
}

void check_index(const NavData& nav) {
    uint32_t next = 0;
    for (std::size_t i = 0; i < nav.index.size(); ++i) {
        const NavData::SatelliteRange& r = nav.index[i];
        fuzz::require(i == 0 || nav.index[i - 1].satellite < r.satellite, "satellites sorted and unique");
        fuzz::require(r.begin == next && r.end > r.begin && r.end <= nav.ephemerides.size(),
                      "satellite ranges tile the ephemerides");
        for (uint32_t k = r.begin; k < r.end; ++k) {
            const BroadcastEphemeris& e = nav.ephemerides[k];
            fuzz::require(e.satellite == r.satellite, "an ephemeris lies in its satellite's range");
            fuzz::require(k == r.begin || nav.ephemerides[k - 1].reference <= e.reference, "sorted by reference time");
            fuzz::require(std::isfinite(e.reference) && e.max_age > 0.0 && e.max_age <= r.longest_age,
                          "reference time and age usable");
        }
        fuzz::require(nav.find(r.satellite) == &r, "satellite found by search");
        next = r.end;
    }
    fuzz::require(next == nav.ephemerides.size(), "every ephemeris indexed");
    fuzz::require(nav.satellites().size() == nav.index.size(), "one satellite per range");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const auto nav = read_rinex_nav_bytes(fuzz::bytes_of(data, size), "fuzz.rnx");
    if (!nav) return 0;
    check_index(*nav);

    BroadcastCursor cursor(*nav);
    for (std::size_t i = 0; i < nav->ephemerides.size() && i < kMostEphemerides; ++i) {
        const BroadcastEphemeris& e = nav->ephemerides[i];
        const NavData::SatelliteRange& range = *nav->find(e.satellite);
        // Probes at the reference, inside the age, at and beyond its edges.
        const struct {
            double offset;
            bool within_age;
        } probes[] = {{0.0, true}, {0.37 * e.max_age, true}, {-e.max_age, false}, {e.max_age + 1.0, false},
                      {-2.5 * e.max_age, false}};
        for (const auto& probe : probes) {
            const double t = e.reference + probe.offset;
            if (const auto epoch = epoch_after_gps_origin(t)) {
                const auto position = broadcast_position(*nav, e.satellite, *epoch);
                fuzz::require(!position || finite(*position), "a position is finite or absent");
                fuzz::require(same_bits(position, cursor.position(e.satellite, *epoch)),
                              "the batch cursor gives the one-off position");
            }
            if (!probe.within_age) continue;
            const BroadcastEphemeris* chosen = select_ephemeris(*nav, range, t);
            fuzz::require(chosen != nullptr, "an ephemeris serves the times within its age");
            fuzz::require(chosen->satellite == e.satellite && std::fabs(t - chosen->reference) <= chosen->max_age,
                          "the chosen ephemeris is the satellite's and within its age");
        }
    }
    return 0;
}
