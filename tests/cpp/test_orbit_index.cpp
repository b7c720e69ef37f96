// The time index of SortedOrbit must give exactly the positions of the plain rule
// (nine nearest by a stable distance sort, repeated epochs passed over). Python cannot
// reach the index, so this check runs as a C++ test: random record lists full of ties,
// repeats and shuffled file order, the real SP3 files, and the batch look-angle step.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "check.hpp"
#include "navigation/look_angles_batch.hpp"
#include "navigation/orbit_interpolation.hpp"
#include "navigation/sorted_orbit.hpp"
#include "navigation/sp3_reader.hpp"

using namespace skyrift;

namespace {

long long comparisons = 0;

bool same_bits(const std::optional<Ecef>& a, const std::optional<Ecef>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || std::memcmp(&*a, &*b, sizeof(Ecef)) == 0;
}

void check(const std::vector<Sp3Record>& records, const Epoch& target, const char* what) {
    ++comparisons;
    const SortedOrbit indexed(records);
    if (same_bits(indexed.position(target), interpolate_records(records, target))) return;
    if (cpptest::failures < 10) cpptest::fail("mismatch (%s) at %s with %zu records", what, iso_text(target).c_str(), records.size());
    else ++cpptest::failures;  // counted, no longer printed
}

Epoch at_seconds(double s) {
    Epoch e{2020, 6, 25, 0, 0, 0.0};
    const double whole_minutes = std::floor(s / 60.0);
    e.second = s - whole_minutes * 60.0;
    e.hour = static_cast<uint32_t>(whole_minutes / 60.0);
    e.minute = static_cast<uint32_t>(whole_minutes - e.hour * 60.0);
    return e;  // hours beyond 23 stay as they are; the Julian date handles them
}

void random_lists(std::mt19937_64& rng) {
    std::uniform_real_distribution<double> coord(-3e7, 3e7);
    for (int trial = 0; trial < 400; ++trial) {
        const std::size_t n = 9 + rng() % 40;
        const double step = (trial % 3 == 0) ? 10800.0 : 900.0;  // 3 h: binary-exact dates, exact ties
        std::vector<Sp3Record> records;
        for (std::size_t i = 0; i < n; ++i) {
            double s = step * static_cast<double>(rng() % (n + 2));  // repeats are common
            if (trial % 5 == 1) s += static_cast<double>(rng() % 1000) * 0.001;
            records.push_back({at_seconds(s), coord(rng), coord(rng), coord(rng), 0.0});
        }
        if (trial % 7 == 0) records[rng() % n].epoch.second = std::nan("");
        for (int q = 0; q < 40; ++q) {
            const double span = step * static_cast<double>(n + 2);
            double s = std::uniform_real_distribution<double>(-span, 2 * span)(rng);
            if (q % 2 == 0) s = step * 0.5 * std::round(s / (step * 0.5));  // on nodes and midpoints
            check(records, at_seconds(s), "random");
        }
    }
}

void ancient_dates() {
    // Julian dates near zero: distinct epochs can lie within the tie tolerance.
    std::vector<Sp3Record> records;
    for (int i = 0; i < 12; ++i) records.push_back({Epoch{-4712, 1, 1, 12, 0, i * 6e-10}, 1.0 * i, 2.0, 3.0, 0.0});
    check(records, Epoch{-4712, 1, 1, 12, 0, 3.1e-9}, "ancient");
}

void real_files(const std::filesystem::path& dir) {
    if (!std::filesystem::exists(dir)) {
        std::printf("skipped real files: %s not found\n", dir.c_str());
        return;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".sp3" && ext != ".SP3" && ext != ".eph") continue;
        const auto data = read_sp3(entry.path().string());
        if (!data) {
            cpptest::fail("cannot read %s: %s", entry.path().c_str(), data.error().message().c_str());
            continue;
        }
        for (const auto& orbit : data->orbits) {
            if (orbit.records.empty()) continue;
            const Epoch first = orbit.records.front().epoch;
            for (int k = -20; k < 2900; k += 7) {
                Epoch e = first;
                e.second += 30.0 * k;  // unnormalised fields are fine for the Julian date
                check(orbit.records, e, "real");
            }
        }
    }
}

void batch_matches_unindexed(const std::filesystem::path& dir) {
    const auto data = read_sp3((dir / "igs20342.sp3").string());
    if (!data) return;
    std::vector<int64_t> times;
    for (int k = 0; k < 2880; k += 5) times.push_back(instant_ms(Epoch{2019, 1, 1, 0, 0, 30.0 * k}));
    std::vector<LookAngleQuery> queries;
    // G99 and R01 have no records; the last query is years away from the file.
    for (const char* id : {"G01", "G04", "G05", "G32", "G99", "R01"}) {
        for (const int64_t t : times) queries.push_back({*parse_satellite_id(id), t});
    }
    queries.push_back({*parse_satellite_id("G05"), instant_ms(Epoch{2009, 1, 1, 0, 0, 0.0})});
    const Ecef receiver{3939618.0985, 456302.0205, 4978525.8695};
    const auto a = compute_look_angles(*data, queries, receiver);
    const auto b = compute_look_angles_unindexed(*data, queries, receiver);
    bool same = a.computed == b.computed && a.failed == b.failed && a.computed + a.failed == queries.size() &&
                a.computed > 0 && a.failed > 0;
    for (std::size_t i = 0; same && i < queries.size(); ++i) {
        same = a.angles[i].has_value() == b.angles[i].has_value() &&
               (!a.angles[i] || std::memcmp(&*a.angles[i], &*b.angles[i], sizeof(LookAngles)) == 0) &&
               (!a.angles[i] || a.angles[i]->elevation > 0.0);
    }
    ++comparisons;
    CHECK(same);
}

}  // namespace

int main(int argc, char** argv) {
    // The real files sit next to the repository: <repo>/../shared/data.
    const std::filesystem::path here = std::filesystem::path(__FILE__).parent_path();
    const std::filesystem::path data_dir = argc > 1 ? argv[1] : here / ".." / ".." / ".." / "shared" / "data";
    std::mt19937_64 rng(20240501);
    random_lists(rng);
    ancient_dates();
    real_files(data_dir);
    batch_matches_unindexed(data_dir);
    std::printf("%lld comparisons\n", comparisons);
    return cpptest::finish("orbit index");
}
