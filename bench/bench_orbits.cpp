// Per-estimate cost of the look-angle step over a day of 30 s epochs for every
// satellite of an SP3 file, with and without the per-satellite time index; with
// --nav, the same step from broadcast ephemerides, from SP3, and from both.
// Usage: bench_orbits FILE.sp3 [x y z]
//        bench_orbits --nav NAV.rnx[.gz] FILE.sp3 [x y z]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "navigation/look_angles_batch.hpp"
#include "navigation/rinex_nav_reader.hpp"
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

// Estimates come grouped by satellite (and signal), in time order within a group.
std::vector<LookAngleQuery> day_queries(const std::vector<Satellite>& satellites, const std::vector<int64_t>& times) {
    std::vector<LookAngleQuery> queries;
    for (const Satellite& s : satellites) {
        for (const int64_t t : times) queries.push_back({s, t});
    }
    return queries;
}

std::vector<int64_t> day_times(const Epoch& day) {
    std::vector<int64_t> times;
    for (int k = 0; k < 2880; ++k) times.push_back(instant_ms(Epoch{day.year, day.month, day.day, 0, 0, 30.0 * k}));
    return times;
}

Ecef receiver_from(int argc, char** argv, int first) {
    return argc == first + 3 ? Ecef{std::atof(argv[first]), std::atof(argv[first + 1]), std::atof(argv[first + 2])}
                             : Ecef{3939618.0985, 456302.0205, 4978525.8695};
}

int sp3_only(int argc, char** argv) {
    const Ecef receiver = receiver_from(argc, argv, 2);
    const auto t_read0 = std::chrono::steady_clock::now();
    const auto sp3 = read_sp3(argv[1]);
    const double read_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t_read0).count();
    if (!sp3 || sp3->orbits.empty()) {
        std::fprintf(stderr, "cannot use %s\n", argv[1]);
        return 1;
    }
    std::vector<Satellite> satellites;
    for (const auto& o : sp3->orbits) satellites.push_back(o.satellite);
    const auto queries = day_queries(satellites, day_times(sp3->orbits.front().records.front().epoch));

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

int with_broadcast(int argc, char** argv) {
    const Ecef receiver = receiver_from(argc, argv, 4);
    const auto t_read0 = std::chrono::steady_clock::now();
    const auto nav = read_rinex_nav(argv[2]);
    const double read_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t_read0).count();
    const auto sp3 = read_sp3(argv[3]);
    if (!nav || !sp3 || nav->ephemerides.empty()) {
        std::fprintf(stderr, "cannot use %s and %s\n", argv[2], argv[3]);
        return 1;
    }
    std::set<Satellite> sats;
    for (const Satellite& s : nav->satellites()) sats.insert(s);
    for (const Satellite& s : sp3->satellites()) sats.insert(s);
    const std::vector<Satellite> satellites(sats.begin(), sats.end());
    const auto queries = day_queries(satellites, day_times(sp3->orbits.front().records.front().epoch));
    const double n = static_cast<double>(queries.size());
    std::printf("navigation file: %s (read in %.1f ms; %zu satellites, %zu ephemerides)\n", argv[2], read_s * 1e3,
                nav->num_satellites(), nav->num_ephemerides());
    std::printf("queries: %zu (every satellite of either file, 2880 epochs)\n", queries.size());
    bool all_same = true;
    const struct {
        const char* name;
        OrbitSource source;
    } sources[] = {{"SP3", {&*sp3, nullptr}}, {"broadcast", {nullptr, &*nav}}, {"SP3 + broadcast", {&*sp3, &*nav}}};
    for (const auto& [name, source] : sources) {
        LookAngleBatch cached, direct;
        const double t_cached = best_seconds(3, [&] { cached = compute_look_angles(source, queries, receiver); });
        const double t_direct = best_seconds(1, [&] { direct = compute_look_angles_unindexed(source, queries, receiver); });
        const bool same = identical(cached, direct);
        all_same = all_same && same;
        std::printf("%-16s %8.0f ns/query (uncached %6.0f ns)  %zu computed, %zu failed; cached = uncached: %s\n", name,
                    t_cached / n * 1e9, t_direct / n * 1e9, cached.computed, cached.failed, same ? "yes" : "NO");
    }
    return all_same ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--nav") == 0 && (argc == 4 || argc == 7)) return with_broadcast(argc, argv);
    if (argc == 2 || argc == 5) return sp3_only(argc, argv);
    std::fprintf(stderr, "usage: %s FILE.sp3 [x y z]\n       %s --nav NAV.rnx FILE.sp3 [x y z]\n", argv[0], argv[0]);
    return 2;
}
