// Per-estimate cost of the look-angle step over a day of 30 s epochs for every
// satellite of an SP3 file, with and without the per-satellite time index.
// Usage: bench_orbits FILE.sp3 [x y z]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "navigation/look_angles_batch.hpp"
#include "navigation/sp3_reader.hpp"

using namespace skyrift;

namespace {

template <typename F>
double best_seconds(int repeats, F&& f) {
    double best = 1e300;
    for (int r = 0; r < repeats; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

bool identical(const LookAngleBatch& a, const LookAngleBatch& b) {
    if (a.computed != b.computed || a.failed != b.failed) return false;
    for (std::size_t i = 0; i < a.angles.size(); ++i) {
        if (a.angles[i].has_value() != b.angles[i].has_value()) return false;
        if (a.angles[i] && std::memcmp(&*a.angles[i], &*b.angles[i], sizeof(LookAngles)) != 0) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 5) {
        std::fprintf(stderr, "usage: %s FILE.sp3 [x y z]\n", argv[0]);
        return 2;
    }
    const Ecef receiver = argc == 5 ? Ecef{std::atof(argv[2]), std::atof(argv[3]), std::atof(argv[4])}
                                    : Ecef{3939618.0985, 456302.0205, 4978525.8695};
    const auto t_read0 = std::chrono::steady_clock::now();
    const auto sp3 = read_sp3(argv[1]);
    const double read_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t_read0).count();
    if (!sp3 || sp3->orbits.empty()) {
        std::fprintf(stderr, "cannot use %s\n", argv[1]);
        return 1;
    }
    // Estimates come grouped by satellite (and signal), in time order within a group.
    const Epoch day = sp3->orbits.front().records.front().epoch;
    std::vector<std::string> epochs;
    for (int k = 0; k < 2880; ++k) epochs.push_back(iso_text(Epoch{day.year, day.month, day.day, 0, 0, 30.0 * k}));
    std::vector<std::string> ids;
    for (const auto& o : sp3->orbits) ids.push_back(o.satellite.id());
    std::vector<LookAngleQuery> queries;
    for (const auto& id : ids) {
        for (const auto& e : epochs) queries.push_back({id, e});
    }

    LookAngleBatch indexed, unindexed;
    const double t_indexed = best_seconds(3, [&] { indexed = compute_look_angles(*sp3, queries, receiver); });
    const double t_unindexed = best_seconds(1, [&] { unindexed = compute_look_angles_unindexed(*sp3, queries, receiver); });
    const double n = static_cast<double>(queries.size());
    std::printf("file: %s (read in %.1f ms; %zu satellites)\n", argv[1], read_s * 1e3, sp3->orbits.size());
    std::printf("estimates: %zu (%zu computed, %zu failed)\n", queries.size(), indexed.computed, indexed.failed);
    std::printf("geometry step, plain rule (sort per query): %8.0f ns/estimate  %.3f s total\n", t_unindexed / n * 1e9,
                t_unindexed);
    std::printf("geometry step, time index per satellite:    %8.0f ns/estimate  %.3f s total\n", t_indexed / n * 1e9,
                t_indexed);
    std::printf("speed-up: %.1fx; results bit-identical: %s\n", t_unindexed / t_indexed,
                identical(indexed, unindexed) ? "yes" : "NO");
    return identical(indexed, unindexed) ? 0 : 1;
}
