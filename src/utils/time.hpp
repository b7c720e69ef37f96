#pragma once
// Calendar epochs, their text grammars, and their instants on a continuous
// UTC-like time line (no leap seconds anywhere).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "utils/result.hpp"

namespace skyrift {

// Fields are stored as given; nothing validates them.
struct Epoch {
    int32_t year = 2000;
    uint32_t month = 1;
    uint32_t day = 1;
    uint32_t hour = 0;
    uint32_t minute = 0;
    double second = 0.0;
};

// A point on the time line: whole seconds since 1970-01-01T00:00:00 and nanoseconds.
struct Instant {
    int64_t seconds = 0;
    uint32_t nanos = 0;  // 0 .. 999'999'999
    friend auto operator<=>(const Instant&, const Instant&) = default;
};

// Both grammars: ISO-like ("2024-03-05T12:30:15.25Z") and blank-separated RINEX fields.
Result<Epoch> parse_epoch(std::string_view text);
// The blank-separated RINEX grammar alone (six fields, two-digit years widened),
// for epoch fields that come from fixed columns.
Result<Epoch> parse_rinex_epoch_fields(std::string_view text);

// Fields that overflow carry into the next unit (second 60 -> next minute,
// 30 February -> 2 March, month 13 -> January of the next year), so an epoch always
// maps to one deterministic instant and the clock is never read.
Instant to_instant(const Epoch& e);

// Instant's whole seconds (as float) plus nanoseconds x 1e-9.
double unix_seconds(const Epoch& e);
double unix_seconds(const Instant& t);

// Exact integer-millisecond time stamp; all time differences inside the analyses use it.
// Saturates at +-kMaxInstantMs (2^62 - 1 ms, about 146 million years either side of
// 1970) instead of overflowing: epochs beyond that (nine-digit years, which the
// blank-separated grammar accepts) all get the limit of their side, and the difference
// of any two stamps still fits in 64 bits.
inline constexpr int64_t kMaxInstantMs = (int64_t{1} << 62) - 1;
int64_t instant_ms(const Epoch& e);

// "%Y-%m-%dT%H:%M:%S%.3fZ" (milliseconds truncated).
std::string iso_text(const Epoch& e);
std::string iso_text(const Instant& t);
// The ISO text of an integer-millisecond time stamp (as made by instant_ms).
std::string iso_text_from_ms(int64_t ms);
// The epoch of an integer-millisecond time stamp: normalised calendar fields, the second
// with its milliseconds. The fields are exactly those parse_epoch(iso_text_from_ms(ms))
// gives wherever that text parses (years 0 and later).
Epoch epoch_from_ms(int64_t ms);
// The instant for unix seconds given as a float, as SNR series print them;
// absent when the result lies outside the calendar's range.
std::optional<std::string> iso_text_from_unix_seconds(double t);

std::pair<uint32_t, double> gps_time(const Epoch& e);  // (week, seconds of week)
double julian_date(const Epoch& e);
uint32_t day_of_year(const Epoch& e);

// Ordering by instant, to the millisecond.
inline bool epoch_before(const Epoch& a, const Epoch& b) { return instant_ms(a) < instant_ms(b); }

// Proleptic Gregorian helpers.
int64_t days_from_civil(int64_t year, int64_t month, int64_t day);
bool is_leap_year(int64_t year);
uint32_t days_in_month(int64_t year, uint32_t month);

}  // namespace skyrift
