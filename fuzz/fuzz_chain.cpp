// The whole chain as a user runs it: read observation text, analyse it with the
// analyzer's default options, then look angles for every estimate from a small fixed
// orbit (circular orbits over 2020-06-25, the day of the main real test file).
#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "analysis/multipath/multipath_analysis.hpp"
#include "analysis/multipath/result_elevations.hpp"
#include "fuzz_support.hpp"
#include "rinex/obs_reader.hpp"

namespace {

using namespace skyrift;

Sp3Data fixed_orbit() {
    constexpr double kRadius = 26'560'000.0, kInclination = 55.0 * kRadPerDeg;
    constexpr double kMeanMotion = 2.0 * std::numbers::pi / 43'082.0, kEarthRate = 7.2921151467e-5;
    Sp3Data sp3;
    for (const char* id : {"C01", "C02", "E01", "E02", "E03", "G01", "G02", "G03", "G04", "G05", "G06", "R01", "R02"}) {
        SatelliteRecords orbit{*parse_satellite_id(id), {}};
        const double plane = 2.0 * std::numbers::pi * (orbit.satellite.prn % 6) / 6.0;
        const double phase = 0.7 * orbit.satellite.prn + static_cast<int>(orbit.satellite.system);
        for (int k = 0; k <= 96; ++k) {
            const double t = 900.0 * k;
            const double u = phase + kMeanMotion * t, theta = kEarthRate * t;
            const double xi = kRadius * (std::cos(u) * std::cos(plane) - std::sin(u) * std::cos(kInclination) * std::sin(plane));
            const double yi = kRadius * (std::cos(u) * std::sin(plane) + std::sin(u) * std::cos(kInclination) * std::cos(plane));
            const double zi = kRadius * std::sin(u) * std::sin(kInclination);
            Sp3Record r;
            r.epoch = Epoch{2020, 6, 25, static_cast<uint32_t>(k / 4), static_cast<uint32_t>(15 * (k % 4)), 0.0};
            if (k == 96) r.epoch = Epoch{2020, 6, 26, 0, 0, 0.0};
            r.x = xi * std::cos(theta) + yi * std::sin(theta);
            r.y = -xi * std::sin(theta) + yi * std::cos(theta);
            r.z = zi;
            orbit.records.push_back(r);
        }
        sp3.orbits.push_back(std::move(orbit));
    }
    std::sort(sp3.orbits.begin(), sp3.orbits.end(),
              [](const SatelliteRecords& a, const SatelliteRecords& b) { return a.satellite < b.satellite; });
    sp3.num_epochs = 97;
    sp3.interval = 900.0;
    return sp3;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const Sp3Data orbit = fixed_orbit();
    auto obs = read_observation_bytes(fuzz::bytes_of(data, size), "fuzz.rnx");
    if (!obs) return 0;

    // The defaults of MultipathAnalyzer(obs_data).
    AnalyzerConfig config;
    config.systems = default_systems();
    config.bias_window = 1500.0;
    config.obs_data = std::make_shared<const RinexObsData>(std::move(*obs));
    auto output = run_multipath_analysis(config);
    if (!output) return 0;

    const auto& position = config.obs_data->header.approx_position;
    const Ecef receiver = position ? Ecef{(*position)[0], (*position)[1], (*position)[2]}
                                   : to_ecef(Geodetic{55.7, 12.5, 50.0});
    const ElevationCounts counts = compute_result_elevations(*output, orbit, receiver);
    fuzz::require(counts.computed + counts.failed == output->estimates.size(), "every estimate counted");
    return 0;
}
