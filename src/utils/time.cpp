#include "utils/time.hpp"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "utils/number_parse.hpp"
#include "utils/text.hpp"

namespace skyrift {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMinYear = -262143;
constexpr int64_t kMaxYear = 262142;

int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

struct CivilDate {
    int64_t year;
    uint32_t month;
    uint32_t day;
};

CivilDate civil_from_days(int64_t z) {
    z += 719468;
    const int64_t era = floor_div(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    return {yoe + era * 400 + (m <= 2 ? 1 : 0), static_cast<uint32_t>(m), static_cast<uint32_t>(d)};
}

Instant instant_from_unix(int64_t whole_seconds, uint64_t nanos) {
    whole_seconds += static_cast<int64_t>(nanos / 1'000'000'000ULL);
    return {whole_seconds, static_cast<uint32_t>(nanos % 1'000'000'000ULL)};
}

std::string format_year(int64_t year) {
    char buf[32];
    if (year >= 0 && year <= 9999) {
        std::snprintf(buf, sizeof buf, "%04lld", static_cast<long long>(year));
    } else {
        std::snprintf(buf, sizeof buf, "%c%04lld", year < 0 ? '-' : '+',
                      static_cast<long long>(year < 0 ? -year : year));
    }
    return buf;
}

std::string quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

Result<Epoch> parse_iso(std::string_view t) {
    std::string_view u = t;
    while (!u.empty() && u.back() == 'Z') u.remove_suffix(1);
    while (u.size() >= 6 && u.substr(u.size() - 6) == "+00:00") u.remove_suffix(6);
    while (u.size() >= 3 && u.substr(u.size() - 3) == "+00") u.remove_suffix(3);

    std::vector<std::string_view> parts;
    if (u.find('T') != std::string_view::npos) {
        parts = split_on(u, 'T');
    } else if (u.find(' ') != std::string_view::npos) {
        parts = split_on(u, ' ');
    } else {
        return GnssError::invalid_epoch("Cannot parse epoch: " + quoted(u));
    }
    if (parts.size() != 2) return GnssError::invalid_epoch("Invalid ISO epoch: " + quoted(u));

    const auto date = split_on(parts[0], '-');
    if (date.size() != 3) return GnssError::invalid_epoch("Invalid date format: " + quoted(parts[0]));
    Epoch e;
    if (parse_integer(date[0], e.year) != NumberError::None)
        return GnssError::invalid_epoch("Invalid year: " + quoted(date[0]));
    if (parse_integer(date[1], e.month) != NumberError::None)
        return GnssError::invalid_epoch("Invalid month: " + quoted(date[1]));
    if (parse_integer(date[2], e.day) != NumberError::None)
        return GnssError::invalid_epoch("Invalid day: " + quoted(date[2]));

    const auto time = split_on(parts[1], ':');
    if (time.size() < 3) return GnssError::invalid_epoch("Invalid time format: " + quoted(parts[1]));
    if (parse_integer(time[0], e.hour) != NumberError::None)
        return GnssError::invalid_epoch("Invalid hour: " + quoted(time[0]));
    if (parse_integer(time[1], e.minute) != NumberError::None)
        return GnssError::invalid_epoch("Invalid minute: " + quoted(time[1]));
    if (parse_float(time[2], e.second) != NumberError::None)
        return GnssError::invalid_epoch("Invalid second: " + quoted(time[2]));
    return e;
}

}  // namespace

Result<Epoch> parse_rinex_epoch_fields(std::string_view t) {
    const auto fields = split_whitespace(t);
    if (fields.size() < 6)
        return GnssError::invalid_epoch("Insufficient components in epoch string: " + quoted(t));
    Epoch e;
    NumberError err = parse_integer(fields[0], e.year);
    if (err == NumberError::None) err = parse_integer(fields[1], e.month);
    if (err == NumberError::None) err = parse_integer(fields[2], e.day);
    if (err == NumberError::None) err = parse_integer(fields[3], e.hour);
    if (err == NumberError::None) err = parse_integer(fields[4], e.minute);
    if (err == NumberError::None) err = parse_float(fields[5], e.second);
    if (err != NumberError::None) return GnssError::other(number_error_text(err));
    if (e.year < 80) {
        e.year += 2000;
    } else if (e.year < 100) {
        e.year += 1900;
    }
    return e;
}

bool is_leap_year(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

uint32_t days_in_month(int64_t year, uint32_t month) {
    static constexpr uint32_t lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && is_leap_year(year) ? 29 : lengths[month - 1];
}

int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = floor_div(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

Result<Epoch> parse_epoch(std::string_view text) {
    const std::string_view t = trim_unicode(text);
    const bool iso = t.find('T') != std::string_view::npos ||
                     (t.find('-') != std::string_view::npos && t.find(':') != std::string_view::npos);
    return iso ? parse_iso(t) : parse_rinex_epoch_fields(t);
}

Instant to_instant(const Epoch& e) {
    const double floor_second = std::floor(e.second);
    // Saturating conversions, NaN giving 0.
    uint64_t whole = 0;
    if (floor_second >= 4294967295.0) {
        whole = 4294967295ULL;
    } else if (floor_second > 0.0) {
        whole = static_cast<uint64_t>(floor_second);
    }
    const double fraction_ns = (e.second - floor_second) * 1e9;
    uint64_t nanos = 0;
    if (fraction_ns > 0.0) nanos = fraction_ns >= 1.8e19 ? 0 : static_cast<uint64_t>(fraction_ns);

    // Months and days outside their range carry: month 13 is January of the next
    // year, day 30 of February is 2 March, day 0 is the previous month's last day.
    const int64_t month_index = static_cast<int64_t>(e.month) - 1;
    const int64_t year = e.year + floor_div(month_index, 12);
    const int64_t month = month_index - floor_div(month_index, 12) * 12 + 1;
    const int64_t days = days_from_civil(year, month, 1) + (static_cast<int64_t>(e.day) - 1);
    const int64_t seconds = days * kSecondsPerDay + static_cast<int64_t>(e.hour) * 3600 +
                            static_cast<int64_t>(e.minute) * 60 + static_cast<int64_t>(whole);
    return instant_from_unix(seconds, nanos);
}

double unix_seconds(const Instant& t) { return static_cast<double>(t.nanos) * 1e-9 + static_cast<double>(t.seconds); }
double unix_seconds(const Epoch& e) { return unix_seconds(to_instant(e)); }

static_assert(kMaxInstantMs <= std::numeric_limits<int64_t>::max() / 2, "two stamps must subtract without overflow");

int64_t instant_ms(const Epoch& e) {
    const Instant t = to_instant(e);
    if (t.seconds > kMaxInstantMs / 1000) return kMaxInstantMs;
    if (t.seconds < -(kMaxInstantMs / 1000)) return -kMaxInstantMs;
    return t.seconds * 1000 + t.nanos / 1'000'000;
}

std::string iso_text(const Instant& t) {
    const int64_t days = floor_div(t.seconds, kSecondsPerDay);
    const int64_t sod = t.seconds - days * kSecondsPerDay;
    const CivilDate date = civil_from_days(days);
    char buf[64];
    std::snprintf(buf, sizeof buf, "-%02u-%02uT%02lld:%02lld:%02lld.%03uZ", date.month, date.day,
                  static_cast<long long>(sod / 3600), static_cast<long long>(sod / 60 % 60),
                  static_cast<long long>(sod % 60), t.nanos / 1'000'000);
    return format_year(date.year) + buf;
}

std::string iso_text(const Epoch& e) { return iso_text(to_instant(e)); }

std::string iso_text_from_ms(int64_t ms) {
    // The remainder, not ms - seconds * 1000, which overflows near the int64 minimum.
    const int64_t millis = ms % 1000 < 0 ? ms % 1000 + 1000 : ms % 1000;
    return iso_text(Instant{floor_div(ms, 1000), static_cast<uint32_t>(millis * 1'000'000)});
}

Epoch epoch_from_ms(int64_t ms) {
    const int64_t millis = ms % 1000 < 0 ? ms % 1000 + 1000 : ms % 1000;
    const int64_t seconds = floor_div(ms, 1000);
    const int64_t days = floor_div(seconds, kSecondsPerDay);
    const int64_t sod = seconds - days * kSecondsPerDay;
    const CivilDate date = civil_from_days(days);
    Epoch e;
    e.year = static_cast<int32_t>(date.year);  // |year| < 300 million for any int64 stamp
    e.month = date.month;
    e.day = date.day;
    e.hour = static_cast<uint32_t>(sod / 3600);
    e.minute = static_cast<uint32_t>(sod / 60 % 60);
    // One correctly rounded division: the double nearest to "SS.mmm", as parsing gives.
    e.second = static_cast<double>(sod % 60 * 1000 + millis) / 1000.0;
    return e;
}

std::optional<std::string> iso_text_from_unix_seconds(double t) {
    const double f = std::floor(t);
    int64_t whole = 0;
    if (std::isnan(f)) {
        whole = 0;
    } else if (f >= 9.2233720368547758e18) {
        whole = std::numeric_limits<int64_t>::max();
    } else if (f <= -9.2233720368547758e18) {
        whole = std::numeric_limits<int64_t>::min();
    } else {
        whole = static_cast<int64_t>(f);
    }
    const double ns = (t - f) * 1e9;
    uint32_t nanos = 0;
    if (ns > 0.0) nanos = ns >= 4294967295.0 ? 4294967295U : static_cast<uint32_t>(ns);
    // Calendar range of years -262143 .. 262142.
    const int64_t min_seconds = days_from_civil(kMinYear, 1, 1) * kSecondsPerDay;
    const int64_t max_seconds = (days_from_civil(kMaxYear + 1, 1, 1)) * kSecondsPerDay - 1;
    if (whole < min_seconds || whole > max_seconds) return std::nullopt;
    const Instant instant = instant_from_unix(whole, nanos);
    if (instant.seconds > max_seconds) return std::nullopt;
    return iso_text(instant);
}

std::pair<uint32_t, double> gps_time(const Epoch& e) {
    const Instant t = to_instant(e);
    constexpr int64_t kGpsOrigin = 315964800;
    // Signed duration since the GPS origin, truncated toward zero to milliseconds.
    const int64_t whole = t.seconds - kGpsOrigin;
    double seconds = static_cast<double>(whole);
    // Far-off years (fields carried from huge values) would overflow a count of
    // milliseconds; there a double holds no milliseconds anyway.
    constexpr int64_t kMaxWholeForMs = std::numeric_limits<int64_t>::max() / 1000 - 1;
    if (whole <= kMaxWholeForMs && whole >= -kMaxWholeForMs) {
        int64_t ms = whole * 1000 + t.nanos / 1'000'000;
        if (whole < 0 && t.nanos % 1'000'000 != 0) ++ms;  // truncate toward zero
        seconds = static_cast<double>(ms) / 1000.0;
    }
    const double week_f = std::floor(seconds / 604800.0);
    uint32_t week = 0;
    if (week_f >= 4294967295.0) {
        week = 4294967295U;
    } else if (week_f > 0.0) {
        week = static_cast<uint32_t>(week_f);
    }
    return {week, seconds - static_cast<double>(week) * 604800.0};
}

double julian_date(const Epoch& e) {
    int64_t y = e.year;
    int64_t m = e.month;
    if (e.month < 3) {
        y = static_cast<int64_t>(e.year) - 1;
        m = static_cast<int64_t>(e.month) + 12;
    }
    const int64_t a = y / 100;
    const double b = std::floor(static_cast<double>(a) / 4.0) + (2.0 - static_cast<double>(a));
    double jd = std::floor(30.6001 * static_cast<double>(m + 1));
    jd += std::floor(365.25 * static_cast<double>(y + 4716));
    jd += static_cast<double>(e.day);
    jd += b;
    jd -= 1524.5;
    jd += (static_cast<double>(e.minute) / 60.0 + static_cast<double>(e.hour) + e.second / 3600.0) / 24.0;
    return jd;
}

uint32_t day_of_year(const Epoch& e) {
    if (e.year < kMinYear || e.year > kMaxYear) return 1;
    if (e.month < 1 || e.month > 12 || e.day < 1 || e.day > days_in_month(e.year, e.month)) return 1;
    return static_cast<uint32_t>(days_from_civil(e.year, e.month, e.day) - days_from_civil(e.year, 1, 1) + 1);
}

}  // namespace skyrift
