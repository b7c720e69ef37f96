#include "analysis/snr/band_power.hpp"

namespace skyrift {

namespace {
constexpr double kScaleAverageConstant = 0.776;  // Cδ of the Morlet wavelet, ω0 = 6
}

std::vector<std::vector<double>> band_power(const WaveletTransform& wt,
                                            std::span<const PeriodBand> bands) {
    const std::size_t n = wt.coi.size();
    const double factor = wt.dj * wt.dt / kScaleAverageConstant;
    std::vector<std::vector<double>> rows;
    rows.reserve(bands.size());
    for (const auto& [lo, hi] : bands) {
        std::vector<double> row(n, 0.0);
        for (std::size_t j = 0; j < wt.scales.size(); ++j) {
            if (!(lo <= wt.periods[j] && wt.periods[j] < hi)) continue;
            const double scale = wt.scales[j];
            const std::vector<double>& power = wt.power[j];
            for (std::size_t i = 0; i < n; ++i) row[i] += power[i] / scale;
        }
        for (double& v : row) v *= factor;
        rows.push_back(std::move(row));
    }
    return rows;
}

Result<std::vector<std::vector<double>>> band_power(std::span<const double> y, double dt, double dj,
                                                    std::span<const PeriodBand> bands) {
    const Result<WaveletTransform> wt = morlet_transform(y, dt, dj, std::nullopt);
    if (!wt) return wt.error();
    return band_power(*wt, bands);
}

std::vector<PeriodBand> period_bands(double dt) {
    if (dt <= 2.0) return {{2, 20}, {20, 40}, {40, 80}, {80, 120}};
    if (dt <= 15.0) return {{30, 60}, {60, 120}, {120, 300}, {300, 600}};
    return {{60, 120}, {120, 300}, {300, 900}, {900, 1800}};
}

}  // namespace skyrift
