// Unix compress (.Z) input, recognised by its magic bytes, with plain or Compact RINEX
// inside: read through the input layer, then every query. The decoder is also checked
// on its own, where it is cheap: a stream cut short decodes to a prefix of the whole,
// a damaged stream is never read as a whole file, and an undamaged one reads exactly
// like the text it decodes to.
#include <string_view>

#include "fuzz_support.hpp"
#include "io/unix_compress.hpp"
#include "rinex/obs_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace skyrift;
    const std::string bytes = fuzz::bytes_of(data, size);
    const TextBuffer whole = uncompress_lzw(bytes);
    const TextBuffer cut = uncompress_lzw(std::string_view(bytes).substr(0, size - size / 3));
    fuzz::require(whole.text.starts_with(cut.text), "a stream cut short decodes to a prefix of the whole");

    const auto obs = read_observation_bytes(bytes, "fuzz.rnx.Z");
    if (has_compress_magic(bytes)) {
        if (whole.trailing_error) {
            fuzz::require(!obs, "a damaged stream is not read as a whole file");
        } else if (!has_compress_magic(whole.text)) {  // the layer undoes one .Z, not one inside it
            fuzz::require_same_reading(obs, read_observation_bytes(whole.text, "fuzz.rnx"));
        }
    }
    if (obs) fuzz::exercise_observations(*obs);
    return 0;
}
