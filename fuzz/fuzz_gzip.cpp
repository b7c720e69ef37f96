// Gzip-compressed observation files: every member inflated, then read as text.
#include "fuzz_support.hpp"
#include "rinex/obs_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const auto obs = skyrift::read_observation_bytes(skyrift::fuzz::bytes_of(data, size), "fuzz.rnx.gz");
    if (obs) skyrift::fuzz::exercise_observations(*obs);
    return 0;
}
