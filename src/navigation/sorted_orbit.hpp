#pragma once
// One satellite's records indexed by time, so that many queries for the same
// satellite find their nine nodes by binary search instead of sorting every record.
// Every position equals interpolate_records() on the same records, bit for bit.
#include <cstdint>
#include <optional>
#include <vector>

#include "navigation/orbit_interpolation.hpp"

namespace skyrift {

class SortedOrbit {
public:
    explicit SortedOrbit(const std::vector<Sp3Record>& records);
    std::optional<Ecef> position(const Epoch& epoch) const;

private:
    struct Entry {
        double jd;
        OrbitNode node;
        uint32_t file_index;  // breaks distance ties exactly as the file-order stable sort does
    };
    const std::vector<Sp3Record>* records_;
    std::vector<Entry> entries_;  // one per distinct epoch (its first record), increasing time
    std::optional<RecordSpan> span_;  // where positions are given at all
    bool use_general_rule_ = false;
};

}  // namespace skyrift
