#pragma once
// Broadcast ephemerides of a navigation file, per satellite, and the position of a
// satellite at any GPS time from the ephemeris chosen for that time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "navigation/glonass_orbit.hpp"
#include "navigation/nav_record.hpp"
#include "utils/coordinates.hpp"
#include "utils/time.hpp"

namespace skyrift {

struct NavData {
    struct SatelliteRange {
        Satellite satellite;
        uint32_t begin = 0, end = 0;  // its ephemerides: [begin, end) of `ephemerides`
        double longest_age = 0.0;     // the largest max_age among them
    };
    // Grouped by satellite in satellite order; within a satellite by reference time,
    // then preferred message first, then latest in the file first.
    std::vector<BroadcastEphemeris> ephemerides;
    std::vector<SatelliteRange> index;  // one per satellite, in satellite order
    std::optional<int> header_leap_seconds;

    const SatelliteRange* find(const Satellite& satellite) const;
    std::vector<Satellite> satellites() const;
    std::size_t num_satellites() const { return index.size(); }
    std::size_t num_ephemerides() const { return ephemerides.size(); }
};

// Orders ephemerides read in file order (their file_order set) into a NavData. Of
// several with the same satellite, message and reference time only the last read stays.
NavData make_nav_data(std::vector<BroadcastEphemeris> in_file_order, std::optional<int> header_leap_seconds);

// The ephemeris used at GPS time `t` (seconds since the GPS origin), or none:
// among the satellite's ephemerides whose reference lies within their max_age of t,
// healthy ones are preferred over unhealthy ones; then the nearest reference time;
// on equal distance the later reference; then LNAV/INAV over CNAV/FNAV over CNAV-2;
// then the one read last.
const BroadcastEphemeris* select_ephemeris(const NavData& nav, const NavData::SatelliteRange& range, double t);

// Position from one ephemeris at GPS time `t`, integrating GLONASS orbits from scratch.
Ecef ephemeris_position(const BroadcastEphemeris& e, double t);

// Position of `satellite` at `epoch` read as GPS time; absent when no ephemeris applies,
// the epoch's second is not finite, or the chosen ephemeris gives no finite position.
std::optional<Ecef> broadcast_position(const NavData& nav, const Satellite& satellite, const Epoch& epoch);

// The same positions for many queries: GLONASS integration nodes are kept per
// ephemeris, so each query costs one short step. Results equal broadcast_position()
// bit for bit. Not thread-safe: one per batch.
class BroadcastCursor {
public:
    explicit BroadcastCursor(const NavData& nav);
    ~BroadcastCursor();
    std::optional<Ecef> position(const Satellite& satellite, const Epoch& epoch);

private:
    const NavData& nav_;
    std::vector<std::unique_ptr<GlonassNodes>> glonass_;  // by ephemeris index, built on first use
};

}  // namespace skyrift
