#pragma once
// Precise-orbit data as read from an SP3 file: per satellite, its tabulated
// positions and clock offsets in file order.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "rinex/types.hpp"
#include "utils/time.hpp"

namespace skyrift {

struct Sp3Record {
    Epoch epoch;                        // the epoch line in force when the record was read
    double x = 0.0, y = 0.0, z = 0.0;   // ECEF metres
    double clock = 0.0;                 // microseconds as written; NaN when unknown or unusable
};

struct SatelliteRecords {
    Satellite satellite;
    std::vector<Sp3Record> records;  // file order; repeated epochs stay separate
};

struct Sp3Data {
    std::vector<SatelliteRecords> orbits;  // sorted by satellite, each satellite once
    uint64_t num_epochs = 0;               // as declared in the header, not as counted
    double interval = 0.0;                 // seconds

    // The satellite's entry in `orbits`, or nullptr when the file has no record of it.
    const SatelliteRecords* find(const Satellite& satellite) const;
    const std::vector<Sp3Record>* records_of(const Satellite& satellite) const {
        const SatelliteRecords* o = find(satellite);
        return o ? &o->records : nullptr;
    }
    std::vector<Satellite> satellites() const;
    std::size_t num_satellites() const { return orbits.size(); }
    // Earliest and latest record epoch over all satellites, by instant (the header's
    // start epoch is not kept); nullopt when the file gave no record.
    std::optional<std::pair<Epoch, Epoch>> time_span() const;
};

}  // namespace skyrift
