// The caches of the broadcast orbits must give exactly the uncached positions: GLONASS
// nodes kept per ephemeris against integration from scratch, the batch cursor against
// one query at a time, alone and combined with SP3. Python cannot reach the caches on
// their own, so this check runs as a C++ test on random offsets and the real files.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "navigation/glonass_orbit.hpp"
#include "navigation/look_angles_batch.hpp"
#include "navigation/rinex_nav_reader.hpp"
#include "navigation/sp3_reader.hpp"
#include "check.hpp"

using namespace skyrift;
using cpptest::expect;

namespace {

bool same_bits(const std::optional<Ecef>& a, const std::optional<Ecef>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || std::memcmp(&*a, &*b, sizeof(Ecef)) == 0;
}

void glonass_nodes_in_random_order(std::mt19937_64& rng) {
    const StateVector state{{13000e3, -5000e3, 21375e3}, {2868.67268, 682.02499, -1585.15181}, {-1.9e-6, 9.3e-7, -2.8e-6}};
    GlonassNodes nodes(state);
    std::uniform_real_distribution<double> offset(-1800.0, 1800.0);
    for (int i = 0; i < 2000; ++i) {
        double dt = offset(rng);
        if (i % 4 == 0) dt = 30.0 * std::round(dt / 30.0);  // exactly on a node
        if (!same_bits(nodes.position(dt), glonass_position(state, dt))) cpptest::fail("GLONASS nodes at dt = %.17g", dt);
    }
    expect(std::isnan(glonass_position(state, std::nan("")).x), "NaN offset gives no position");
}

bool same_batches(const LookAngleBatch& a, const LookAngleBatch& b) {
    if (a.computed != b.computed || a.failed != b.failed) return false;
    for (std::size_t i = 0; i < a.angles.size(); ++i) {
        if (a.angles[i].has_value() != b.angles[i].has_value()) return false;
        if (a.angles[i] && std::memcmp(&*a.angles[i], &*b.angles[i], sizeof(LookAngles)) != 0) return false;
    }
    return true;
}

void real_day(const std::filesystem::path& dir) {
    const auto nav = read_rinex_nav((dir / "ESBC00DNK_R_20201770000_01D_MN.rnx.gz").string());
    const auto sp3 = read_sp3((dir / "GRG0MGXFIN_20201770000_01D_15M_ORB.SP3").string());
    if (!nav || !sp3) {
        std::printf("skipped the real day: its files are not in %s\n", dir.c_str());
        return;
    }
    // Satellite by satellite in time order, as estimates come, then every satellite at each epoch.
    std::vector<int64_t> times;
    for (int k = -40; k < 2920; k += 3) times.push_back(instant_ms(Epoch{2020, 6, 25, 0, 0, 30.0 * k + 0.5 * (k % 2)}));
    std::vector<LookAngleQuery> by_satellite, by_epoch;
    for (const Satellite& s : nav->satellites()) {
        for (const int64_t t : times) by_satellite.push_back({s, t});
    }
    for (const int64_t t : times) {
        for (const Satellite& s : nav->satellites()) by_epoch.push_back({s, t});
    }
    const Ecef receiver{3582104.7, 532590.2, 5232755.0};
    for (const OrbitSource source : {OrbitSource{nullptr, &*nav}, OrbitSource{&*sp3, &*nav}}) {
        for (const auto* queries : {&by_satellite, &by_epoch}) {
            const auto cached = compute_look_angles(source, *queries, receiver);
            const auto direct = compute_look_angles_unindexed(source, *queries, receiver);
            expect(same_batches(cached, direct), source.precise ? "SP3 and broadcast batch" : "broadcast batch");
            expect(cached.computed > 0 && cached.failed > 0, "the day has satellites above and below the horizon");
        }
    }
    // With both orbits SP3 serves GPS, GLONASS and Galileo, the broadcast orbit BeiDou
    // (and everything beyond the reach of the SP3 records, so only the day itself is asked).
    const int64_t day_start = instant_ms(Epoch{2020, 6, 25, 0, 0, 0.0});
    std::vector<LookAngleQuery> within_day;
    for (const LookAngleQuery& q : by_satellite) {
        if (q.time_ms >= day_start && q.time_ms <= day_start + 86'400'000) within_day.push_back(q);
    }
    const auto both = compute_look_angles(OrbitSource{&*sp3, &*nav}, within_day, receiver);
    const auto served = [&](GnssSystem s, OrbitKind k) {
        return both.served[static_cast<std::size_t>(s)][static_cast<std::size_t>(k)];
    };
    expect(served(GnssSystem::GPS, OrbitKind::Precise) > 0 && served(GnssSystem::BeiDou, OrbitKind::Precise) == 0 &&
               served(GnssSystem::BeiDou, OrbitKind::Broadcast) > 0 &&
               served(GnssSystem::Galileo, OrbitKind::Broadcast) == 0,
           "served counts");
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path here = std::filesystem::path(__FILE__).parent_path();
    const std::filesystem::path data_dir = argc > 1 ? argv[1] : here / ".." / ".." / ".." / "shared" / "data";
    std::mt19937_64 rng(20200625);
    glonass_nodes_in_random_order(rng);
    real_day(data_dir);
    return cpptest::finish("test_broadcast_cache");
}
