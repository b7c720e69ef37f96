// Look-angle queries carry integer-millisecond stamps and turn them into epochs directly;
// the orbits then see exactly the fields that the stamp's ISO text parsed back to, so the
// positions stay bit-identical. Python has no path to epoch_from_ms, hence a C++ test.
#include <cstdint>
#include <cstring>
#include <random>

#include "check.hpp"
#include "utils/time.hpp"

using namespace skyrift;

namespace {

bool same_fields(const Epoch& a, const Epoch& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
           std::memcmp(&a.second, &b.second, sizeof(double)) == 0;
}

void check_stamp(int64_t ms) {
    const Epoch direct = epoch_from_ms(ms);
    const auto parsed = parse_epoch(iso_text_from_ms(ms));
    if (!parsed) {
        cpptest::fail("stamp %lld: its text %s does not parse", static_cast<long long>(ms), iso_text_from_ms(ms).c_str());
    } else if (!same_fields(direct, *parsed)) {
        cpptest::fail("stamp %lld: fields differ from those of %s", static_cast<long long>(ms),
                      iso_text_from_ms(ms).c_str());
    }
}

}  // namespace

int main() {
    // Every millisecond of a second (all decimal fractions), around midnight and 1970.
    for (int64_t ms = 1593043200000 - 1000; ms < 1593043200000 + 1000; ++ms) check_stamp(ms);
    for (int64_t ms = -2000; ms < 2000; ++ms) check_stamp(ms);
    // Random stamps from year 0 to beyond 9999 (a '+' before the year), and the last
    // stamp instant_ms makes.
    const int64_t year0 = days_from_civil(0, 1, 1) * 86400000;
    std::mt19937_64 rng(20240517);
    std::uniform_int_distribution<int64_t> any(year0, days_from_civil(12000, 1, 1) * 86400000);
    for (int i = 0; i < 200000; ++i) check_stamp(any(rng));
    check_stamp(year0);
    check_stamp(kMaxInstantMs);
    // Before year 0 the text does not parse; the fields are still the calendar's.
    CHECK(same_fields(epoch_from_ms(year0 - 1), Epoch{-1, 12, 31, 23, 59, 59.999}));
    return cpptest::finish("test_epoch_from_ms");
}
