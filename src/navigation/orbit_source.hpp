#pragma once
// The one place that answers "where is satellite S at instant t" for every user
// (compute_elevation, compute_elevations, the analyzer): a precise orbit (SP3),
// broadcast ephemerides, or both. With both, SP3 comes first and the broadcast
// ephemerides serve what SP3 cannot give (a system or satellite it lacks, too few
// records). Epochs are read as GPS time, the time scale of SP3 files and of mixed
// observation files.
#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "navigation/nav_data.hpp"
#include "navigation/sorted_orbit.hpp"
#include "navigation/sp3_data.hpp"
#include "utils/coordinates.hpp"
#include "utils/time.hpp"

namespace skyrift {

enum class OrbitKind : uint8_t { Precise = 0, Broadcast = 1 };

struct OrbitSource {
    const Sp3Data* precise = nullptr;   // either may be absent, not both (else nothing is found)
    const NavData* broadcast = nullptr;

    // One query, nothing cached: interpolate_position(), else broadcast_position().
    std::optional<Ecef> position(const Satellite& satellite, const Epoch& epoch) const;
    // Whether either orbit holds records or ephemerides of the satellite (it may still
    // have no position at a given epoch).
    bool knows(const Satellite& satellite) const;
};

// An OrbitSource that owns its data: for values (an analyzer's settings, a call that
// runs without the interpreter lock) that must keep both orbits alive.
struct SharedOrbit {
    std::shared_ptr<const Sp3Data> precise;
    std::shared_ptr<const NavData> broadcast;

    OrbitSource source() const { return {precise.get(), broadcast.get()}; }
    explicit operator bool() const { return precise || broadcast; }
};

// Many queries against one source: SP3 records indexed by time per satellite, GLONASS
// integration nodes kept per ephemeris. Positions equal OrbitSource::position() bit
// for bit. Counts which orbit served each system. Not thread-safe: one per batch.
class OrbitCursor {
public:
    explicit OrbitCursor(const OrbitSource& source);
    std::optional<Ecef> position(const Satellite& satellite, const Epoch& epoch);

    // Positions given, per system (index of GnssSystem) and orbit kind.
    using Served = std::array<std::array<std::size_t, 2>, kNumSystems>;
    const Served& served() const { return served_; }

private:
    std::optional<Ecef> precise_position(const Satellite& satellite, const Epoch& epoch);

    OrbitSource source_;
    std::vector<std::optional<SortedOrbit>> sp3_index_;  // by satellite entry of the SP3 data
    std::optional<BroadcastCursor> broadcast_;
    Served served_{};
};

}  // namespace skyrift
