// Millisecond time stamps at the ends of the calendar. Python has no path to
// instant_ms or iso_text_from_ms with a far-off epoch, so they are checked here; the
// sanitizer build turns any overflow into a failure.
#include <cstdint>
#include <limits>
#include <string>

#include "check.hpp"
#include "utils/time.hpp"

using cpptest::fail;
using skyrift::Epoch;
using skyrift::instant_ms;
using skyrift::iso_text_from_ms;
using skyrift::kMaxInstantMs;

static void expect_ms(const char* what, int64_t got, int64_t expected) {
    if (got != expected) fail("%s: got %lld, expected %lld", what, static_cast<long long>(got), static_cast<long long>(expected));
}

// Equal in time: the instants agree to the millisecond.
static bool same_time(const Epoch& a, const Epoch& b) { return instant_ms(a) == instant_ms(b); }

static bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The stamp is the instant to the millisecond, or the limit of its side.
static int64_t stamp_from_instant(const Epoch& e) {
    const skyrift::Instant t = skyrift::to_instant(e);
    if (t.seconds > kMaxInstantMs / 1000) return kMaxInstantMs;
    if (t.seconds < -(kMaxInstantMs / 1000)) return -kMaxInstantMs;
    return t.seconds * 1000 + t.nanos / 1'000'000;
}

int main() {
    expect_ms("ordinary epoch", instant_ms(Epoch{2020, 6, 25, 1, 2, 3.5}), 1593046923500);
    expect_ms("before 1970", instant_ms(Epoch{1969, 12, 31, 23, 59, 59.999}), -1);

    // The nine-digit year that the blank-separated grammar accepts, and its mirror.
    const auto far = skyrift::parse_epoch("820621121 2 2 2 2 2");
    if (!CHECK(static_cast<bool>(far))) return cpptest::finish("test_time_limits");
    expect_ms("nine-digit year", instant_ms(*far), kMaxInstantMs);
    expect_ms("negative nine-digit year", instant_ms(Epoch{-820621121, 2, 2, 2, 2, 2.0}), -kMaxInstantMs);
    expect_ms("largest fields", instant_ms(Epoch{INT32_MAX, UINT32_MAX, UINT32_MAX, UINT32_MAX, UINT32_MAX, 1e300}),
              kMaxInstantMs);
    expect_ms("smallest year", instant_ms(Epoch{INT32_MIN, 0, 0, 0, 0, -1e300}), -kMaxInstantMs);
    const Epoch latest{INT32_MAX, 1, 1, 0, 0, 0.0};
    CHECK(!skyrift::epoch_before(*far, latest) && same_time(*far, latest));

    // Across the limit (near the year 146 million): exact below it, saturated above,
    // never decreasing.
    int64_t previous = std::numeric_limits<int64_t>::min();
    bool saw_exact = false, saw_saturated = false;
    for (int32_t year = 146'140'000; year <= 146'141'000; ++year) {
        for (int sign : {1, -1}) {
            const Epoch e{sign * year, 12, 31, 23, 59, 59.999};
            const int64_t ms = instant_ms(e);
            expect_ms("stamp near the limit", ms, stamp_from_instant(e));
            if (sign == 1) {
                if (ms < previous) fail("stamps decrease at year %d", year);
                previous = ms;
                (ms == kMaxInstantMs ? saw_saturated : saw_exact) = true;
            }
        }
    }
    CHECK(saw_exact && saw_saturated);

    // The text of any stamp, the int64 extremes included.
    CHECK(iso_text_from_ms(-1) == "1969-12-31T23:59:59.999Z");
    CHECK(iso_text_from_ms(1593046923456) == "2020-06-25T01:02:03.456Z");
    const std::string lowest = iso_text_from_ms(std::numeric_limits<int64_t>::min());
    const std::string highest = iso_text_from_ms(std::numeric_limits<int64_t>::max());
    CHECK(lowest[0] == '-' && ends_with(lowest, ".192Z"));
    CHECK(highest[0] == '+' && ends_with(highest, ".807Z"));
    return cpptest::finish("test_time_limits");
}
