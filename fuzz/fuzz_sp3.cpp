// SP3 orbit files, as read_sp3 takes them once the file is in memory; then look angles
// at and between the tabulated epochs of every satellite, where the time-indexed
// orbit must agree bit for bit with one full interpolation per query.
#include <cstring>

#include "fuzz_support.hpp"
#include "io/input.hpp"
#include "navigation/look_angles_batch.hpp"
#include "navigation/sp3_reader.hpp"

namespace {

bool same_bits(const std::optional<skyrift::LookAngles>& a, const std::optional<skyrift::LookAngles>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || (std::memcmp(&a->azimuth, &b->azimuth, sizeof(double)) == 0 &&
                  std::memcmp(&a->elevation, &b->elevation, sizeof(double)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace skyrift;
    const auto read = parse_sp3_text(decode_input(fuzz::bytes_of(data, size), "fuzz.sp3"));
    if (!read) return 0;
    const Sp3Data& sp3 = *read;

    std::vector<LookAngleQuery> queries;
    for (const SatelliteRecords& orbit : sp3.orbits) {
        fuzz::require(!orbit.records.empty(), "a listed satellite has records");
        fuzz::require(sp3.find(orbit.satellite) == &orbit, "satellite found by search");
        // Queries cost a full interpolation each: a few satellites reach every path.
        if (&orbit - sp3.orbits.data() >= 4) continue;
        for (std::size_t i = 0; i < orbit.records.size() && i < 12; ++i) {
            Epoch between = orbit.records[i].epoch;
            between.second += 37.5;
            for (const Epoch& e : {orbit.records[i].epoch, between}) queries.push_back({orbit.satellite, instant_ms(e)});
        }
    }

    const Ecef receiver{3512888.0, 778259.0, 5248286.0};
    const LookAngleBatch indexed = compute_look_angles(sp3, queries, receiver);
    const LookAngleBatch reference = compute_look_angles_unindexed(sp3, queries, receiver);
    fuzz::require(indexed.computed + indexed.failed == queries.size(), "every query counted");
    fuzz::require(indexed.computed == reference.computed, "indexed and unindexed orbits compute the same queries");
    for (std::size_t i = 0; i < queries.size(); ++i)
        fuzz::require(same_bits(indexed.angles[i], reference.angles[i]), "indexed orbit equals full interpolation");
    return 0;
}
