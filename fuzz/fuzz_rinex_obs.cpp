// Plain RINEX observation text (versions 2, 3 and 4): header, records and queries.
#include "fuzz_support.hpp"
#include "rinex/obs_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const auto obs = skyrift::read_observation_bytes(skyrift::fuzz::bytes_of(data, size), "fuzz.rnx");
    if (obs) skyrift::fuzz::exercise_observations(*obs);
    return 0;
}
