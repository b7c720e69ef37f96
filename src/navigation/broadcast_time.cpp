#include "navigation/broadcast_time.hpp"

#include <cmath>
#include <cstdint>

#include "utils/constants.hpp"

namespace skyrift {

namespace {

constexpr int64_t kGpsOriginUnix = 315964800;  // 1980-01-06T00:00:00 in Unix seconds

// UTC dates from which GPS - UTC took each value (1 from 1981-07-01 ... 18 from 2017-01-01).
struct LeapStep {
    int year, month;
};
constexpr LeapStep kLeapSteps[] = {{1981, 7}, {1982, 7}, {1983, 7}, {1985, 7}, {1988, 1}, {1990, 1},
                                   {1991, 1}, {1992, 7}, {1993, 7}, {1994, 7}, {1996, 1}, {1997, 7},
                                   {1999, 1}, {2006, 1}, {2009, 1}, {2012, 7}, {2015, 7}, {2017, 1}};

double step_start(const LeapStep& s) {
    return static_cast<double>((days_from_civil(s.year, s.month, 1) - days_from_civil(1980, 1, 6)) * 86400);
}

}  // namespace

std::optional<double> seconds_since_gps_origin(const Epoch& e) {
    if (!std::isfinite(e.second)) return std::nullopt;
    const Instant t = to_instant(e);
    return static_cast<double>(t.seconds - kGpsOriginUnix) + static_cast<double>(t.nanos) * 1e-9;
}

int gps_minus_utc(double utc_seconds) {
    int leap = 0;
    for (const LeapStep& s : kLeapSteps) {
        if (utc_seconds < step_start(s)) break;
        ++leap;
    }
    return leap;
}

double nearest_with_second_of_week(double near, double seconds_of_week) {
    const double week_start = std::floor(near / broadcast::kSecondsPerWeek) * broadcast::kSecondsPerWeek;
    double t = week_start + seconds_of_week;
    const double half_week = broadcast::kSecondsPerWeek / 2;
    if (t - near > half_week) t -= broadcast::kSecondsPerWeek;
    if (near - t > half_week) t += broadcast::kSecondsPerWeek;
    return t;
}

}  // namespace skyrift
