// Plain RINEX observation text (versions 2, 3 and 4): header, records and queries; a
// partial read must agree with the whole one.
#include "fuzz_support.hpp"
#include "rinex/obs_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace skyrift;
    const std::string bytes = fuzz::bytes_of(data, size);
    const auto obs = read_observation_bytes(bytes, "fuzz.rnx");
    if (obs) fuzz::exercise_observations(*obs);
    std::optional<GnssError> damage;
    fuzz::require_partial_agrees(obs, read_observation_bytes(bytes, "fuzz.rnx", &damage), damage);
    return 0;
}
