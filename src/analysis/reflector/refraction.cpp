#include "analysis/reflector/refraction.hpp"

#include <algorithm>
#include <cmath>

#include "utils/constants.hpp"

namespace skyrift {

namespace {

constexpr double kLowestElevation = -1.0;
constexpr int kMaxIterations = 50;

}  // namespace

Atmosphere standard_atmosphere(double height_m) {
    Atmosphere a;
    a.pressure_hpa = 1013.25 * std::pow(1.0 - 2.25577e-5 * height_m, 5.25588);
    a.temperature_c = 15.0 - 0.0065 * height_m;
    return a;
}

double bennett_refraction(double h, const Atmosphere& atmosphere) {
    const double arcmin = 1.0 / std::tan((h + 7.31 / (h + 4.4)) * kRadPerDeg);
    const double scale = (atmosphere.pressure_hpa / 1010.0) * (283.0 / (273.0 + atmosphere.temperature_c));
    return std::max(0.0, arcmin * scale / 60.0);
}

double apparent_elevation(double geometric, const Atmosphere& atmosphere) {
    if (!std::isfinite(geometric) || geometric < kLowestElevation) return geometric;
    // Fixed point of h = e + R(h): R changes by well under a third of a degree per degree
    // of elevation even at the horizon, so the steps contract quickly.
    double h = geometric;
    for (int i = 0; i < kMaxIterations; ++i) {
        const double next = geometric + bennett_refraction(h, atmosphere);
        if (std::fabs(next - h) < 1e-12) return next;
        h = next;
    }
    return h;
}

}  // namespace skyrift
