// Epoch text in both grammars, and every conversion of a parsed epoch: instant,
// millisecond stamp, unix seconds, ISO text, GPS time, Julian date, day of year.
#include <cmath>

#include "fuzz_support.hpp"
#include "utils/time.hpp"

namespace {

void convert(const skyrift::Epoch& e) {
    using namespace skyrift;
    const Instant t = to_instant(e);
    fuzz::require(t.nanos < 1'000'000'000, "nanoseconds below one second");
    const int64_t ms = instant_ms(e);
    fuzz::require(ms >= -kMaxInstantMs && ms <= kMaxInstantMs, "stamp within its limits");
    if (t.seconds <= kMaxInstantMs / 1000 && t.seconds >= -(kMaxInstantMs / 1000))
        fuzz::require(ms == t.seconds * 1000 + t.nanos / 1'000'000, "stamp exact inside its limits");
    (void)iso_text_from_ms(ms);
    (void)iso_text_from_unix_seconds(unix_seconds(e));
    (void)gps_time(e);
    (void)julian_date(e);
    const uint32_t doy = day_of_year(e);
    fuzz::require(doy >= 1 && doy <= 366, "day of year in 1..366");

    // The ISO text parses back to the same stamp, less at most the millisecond that
    // a float second just below it loses; signed years do not fit the date grammar.
    const std::string iso = iso_text(e);
    if (iso[0] == '+' || iso[0] == '-') return;
    const auto back = parse_epoch(iso);
    fuzz::require(static_cast<bool>(back), "ISO text parses");
    const int64_t diff = ms - instant_ms(*back);
    fuzz::require(diff >= 0 && diff <= 1, "ISO text keeps the stamp to the millisecond");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text = skyrift::fuzz::bytes_of(data, size);
    if (const auto e = skyrift::parse_epoch(text)) convert(*e);
    if (const auto e = skyrift::parse_rinex_epoch_fields(text)) convert(*e);
    return 0;
}
