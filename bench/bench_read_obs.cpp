// Reads observation files with the core library and prints, per file, the
// decoded text size, record counts, read time and the memory the stored
// observations hold (from the vectors' capacities). Not part of the Python module.
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "io/file_read.hpp"
#include "io/input.hpp"
#include "rinex/obs_reader.hpp"

int main(int argc, char** argv) {
    using clock = std::chrono::steady_clock;
    std::printf("%-48s %10s %8s %10s %9s %9s %8s %8s\n", "file", "text_MB", "epochs", "obs", "read_ms",
                "parse_ms", "MB/s", "B/obs");
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        const auto t0 = clock::now();
        auto bytes = skyrift::read_whole_file(path);
        if (!bytes) {
            std::printf("%s: %s\n", argv[i], bytes.error().message().c_str());
            continue;
        }
        // Decoded whole, without the decoder thread, so that the text size is known.
        auto text = skyrift::decode_input(std::move(*bytes), path, SIZE_MAX);
        const auto t1 = clock::now();
        auto data = skyrift::parse_observation_text(text);
        const auto t2 = clock::now();
        if (!data) {
            std::printf("%s: %s\n", argv[i], data.error().message().c_str());
            continue;
        }
        const double read_ms = std::chrono::duration<double, std::milli>(t2 - t0).count();
        const double parse_ms = std::chrono::duration<double, std::milli>(t2 - t1).count();
        const double mb = text.text.size() / 1e6;
        const auto& d = *data;
        const double held = double(d.observations.capacity() * sizeof(skyrift::ObservationEntry) +
                                   d.satellite_entries.capacity() * sizeof(skyrift::SatelliteEntry) +
                                   d.epochs.capacity() * sizeof(skyrift::EpochRecord));
        const std::size_t n = d.observations.size();
        const std::string name = path.substr(path.rfind('/') + 1);
        std::printf("%-48s %10.2f %8zu %10zu %9.1f %9.1f %8.0f %8.2f\n", name.c_str(), mb, d.epochs.size(), n, read_ms,
                    parse_ms, mb / (read_ms / 1000.0), n ? held / double(n) : 0.0);
    }
    return 0;
}
