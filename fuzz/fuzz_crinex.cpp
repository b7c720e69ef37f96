// Compact RINEX 1.0 and 3.0, recognised by its first line whatever the name: expanded,
// read as observation text, then every query. Large files are expanded on a thread
// beside the reader; that path must read the same input alike, and a partial read
// must agree with the whole one.
#include "fuzz_support.hpp"
#include "io/input.hpp"
#include "rinex/obs_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace skyrift;
    const std::string bytes = fuzz::bytes_of(data, size);
    const auto obs = read_observation_bytes(bytes, "fuzz.crx");
    const auto beside = parse_observation_text(decode_input(bytes, "fuzz.crx", /*stream_above=*/0));
    fuzz::require_same_reading(obs, beside);
    if (obs) fuzz::exercise_observations(*obs);
    std::optional<GnssError> damage;
    fuzz::require_partial_agrees(obs, read_observation_bytes(bytes, "fuzz.crx", &damage), damage);
    return 0;
}
