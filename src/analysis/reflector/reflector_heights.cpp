#include "analysis/reflector/reflector_heights.hpp"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "analysis/reflector/reflector_arcs.hpp"
#include "utils/constants.hpp"
#include "utils/worker_pool.hpp"

namespace skyrift {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kMaxPolynomialOrder = 12;
constexpr std::size_t kMaxGridHeights = 20'000;  // periodograms are kept for every arc
constexpr double kRefineTolerance = 1e-6;          // metres

// One satellite's usable samples in time order, elevations already refracted when asked.
struct Samples {
    std::vector<double> t, e, az, amplitude;
};

Samples usable_samples(const ReflectorTrack& track, const ReflectorOptions& options) {
    const std::size_t n = std::min({track.times.size(), track.elevations.size(), track.azimuths.size(),
                                    track.snr.size()});
    std::vector<std::size_t> index;
    index.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isfinite(track.times[i]) && std::isfinite(track.elevations[i]) &&
            std::isfinite(track.azimuths[i]) && std::isfinite(track.snr[i]) && track.snr[i] > 0.0)
            index.push_back(i);
    }
    std::stable_sort(index.begin(), index.end(),
                     [&](std::size_t a, std::size_t b) { return track.times[a] < track.times[b]; });
    Samples s;
    s.t.reserve(index.size());
    s.e.reserve(index.size());
    s.az.reserve(index.size());
    s.amplitude.reserve(index.size());
    for (std::size_t i : index) {
        s.t.push_back(track.times[i]);
        const double e = track.elevations[i];
        s.e.push_back(options.refraction ? apparent_elevation(e, options.atmosphere) : e);
        s.az.push_back(track.azimuths[i]);
        s.amplitude.push_back(std::pow(10.0, track.snr[i] / 20.0));  // dB-Hz to linear amplitude
    }
    return s;
}

// Residual of the least-squares polynomial in x; x is mapped onto [-1, 1] first so that
// the fit stays well conditioned whatever the unit.
std::vector<double> polynomial_residual(std::span<const double> x, std::span<const double> y, int order) {
    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    const double mid = 0.5 * (*lo + *hi);
    const double half = std::max(0.5 * (*hi - *lo), 1e-12);
    const Eigen::Index n = static_cast<Eigen::Index>(x.size()), cols = order + 1;
    Eigen::MatrixXd a(n, cols);
    for (Eigen::Index i = 0; i < n; ++i) {
        const double u = (x[static_cast<std::size_t>(i)] - mid) / half;
        double p = 1.0;
        for (Eigen::Index j = 0; j < cols; ++j, p *= u) a(i, j) = p;
    }
    const Eigen::Map<const Eigen::VectorXd> v(y.data(), n);
    const Eigen::VectorXd coefficients = a.colPivHouseholderQr().solve(v);
    const Eigen::VectorXd fit = a * coefficients;
    std::vector<double> residual(x.size());
    for (Eigen::Index i = 0; i < n; ++i) residual[static_cast<std::size_t>(i)] = y[static_cast<std::size_t>(i)] - fit[i];
    return residual;
}

double mean_azimuth(std::span<const double> az) {
    double s = 0.0, c = 0.0;
    for (double a : az) {
        s += std::sin(a * kRadPerDeg);
        c += std::cos(a * kRadPerDeg);
    }
    const double mean = std::atan2(s, c) / kRadPerDeg;
    return mean < 0.0 ? mean + 360.0 : mean;
}

bool in_azimuth_windows(double az, const std::vector<std::pair<double, double>>& windows) {
    if (windows.empty()) return true;
    for (const auto& [from, to] : windows) {
        if (from <= to ? (az >= from && az <= to) : (az >= from || az <= to)) return true;
    }
    return false;
}

// Height of the largest power between two grid neighbours of the grid peak, by golden
// section on the exact periodogram.
double refine_peak(std::span<const double> x, std::span<const double> y, double lo, double hi, double to_frequency) {
    const double ratio = 0.6180339887498949;
    auto power = [&](double h) { return lomb_scargle_power(x, y, h * to_frequency); };
    double a = lo, b = hi;
    double c = b - ratio * (b - a), d = a + ratio * (b - a);
    double pc = power(c), pd = power(d);
    while (b - a > kRefineTolerance) {
        if (pc >= pd) {
            b = d;
            d = c;
            pd = pc;
            c = b - ratio * (b - a);
            pc = power(c);
        } else {
            a = c;
            c = d;
            pc = pd;
            d = a + ratio * (b - a);
            pd = power(d);
        }
    }
    return 0.5 * (a + b);
}

// Fills the periodogram fields of an arc from its detrended samples and applies the
// rules that need them.
void periodogram_rules(ReflectorArc& arc, std::span<const double> x, std::span<const double> y,
                       const ReflectorTrack& track, const ReflectorOptions& options, const FrequencyGrid& heights) {
    const double to_frequency = 2.0 / track.wavelength;  // cycles per unit sin(e) for one metre
    const FrequencyGrid grid{heights.start * to_frequency, heights.step * to_frequency, heights.count};
    const std::vector<double> power = lomb_scargle_powers(x, y, grid);
    const std::size_t n = x.size();
    arc.periodogram.resize(power.size());
    double noise_sum = 0.0;
    std::size_t noise_count = 0;
    for (std::size_t k = 0; k < power.size(); ++k) {
        const double amplitude = power_to_amplitude(power[k], n);
        arc.periodogram[k] = static_cast<float>(amplitude);
        const double h = heights.at(k);
        if (h >= options.noise_min_height - 1e-9 && h <= options.noise_max_height + 1e-9) {
            noise_sum += amplitude;
            ++noise_count;
        }
    }
    const std::size_t peak = static_cast<std::size_t>(std::max_element(power.begin(), power.end()) - power.begin());
    const bool at_edge = peak == 0 || peak + 1 == power.size();
    arc.height = at_edge ? heights.at(peak)
                         : refine_peak(x, y, heights.at(peak - 1), heights.at(peak + 1), to_frequency);
    arc.amplitude = power_to_amplitude(lomb_scargle_power(x, y, arc.height * to_frequency), n);
    const double noise = noise_count ? noise_sum / static_cast<double>(noise_count) : 0.0;
    arc.peak_to_noise = noise > 0.0 ? arc.amplitude / noise : 0.0;
    const bool near_edge = arc.height - options.min_height < options.height_edge_margin ||
                           options.max_height - arc.height < options.height_edge_margin;
    if (at_edge || near_edge) arc.reason = RejectReason::EdgePeak;
    else if (arc.amplitude < track.min_amplitude) arc.reason = RejectReason::LowAmplitude;
    else if (arc.peak_to_noise < options.min_peak_to_noise) arc.reason = RejectReason::LowPeakToNoise;
}

std::vector<ReflectorArc> track_arcs(const ReflectorTrack& track, const ReflectorOptions& options,
                                     const FrequencyGrid& heights) {
    std::vector<ReflectorArc> out;
    if (!(track.wavelength > 0.0)) return out;
    const Samples s = usable_samples(track, options);
    for (const ElevationArc& range : split_elevation_arcs(s.t, s.e, options.max_gap_seconds)) {
        // Samples of the polynomial window, and which of them lie in the periodogram window.
        std::vector<double> fit_e, fit_y;
        std::vector<std::size_t> fit_index;
        for (std::size_t i = range.begin; i < range.end; ++i) {
            if (s.e[i] >= options.fit_min_elevation && s.e[i] <= options.fit_max_elevation) {
                fit_e.push_back(s.e[i]);
                fit_y.push_back(s.amplitude[i]);
                fit_index.push_back(i);
            }
        }
        std::vector<std::size_t> window;  // positions within the fit samples
        for (std::size_t j = 0; j < fit_index.size(); ++j) {
            if (fit_e[j] >= options.min_elevation && fit_e[j] <= options.max_elevation) window.push_back(j);
        }
        if (window.empty()) continue;  // the arc never enters the window: not an arc of this study

        ReflectorArc arc;
        arc.satellite = track.satellite;
        arc.signal = track.signal;
        arc.rising = range.rising;
        arc.wavelength = track.wavelength;
        arc.points = static_cast<uint32_t>(window.size());
        const double t0 = s.t[fit_index[window.front()]], t1 = s.t[fit_index[window.back()]];
        arc.time = 0.5 * (t0 + t1);
        arc.duration = t1 - t0;
        std::vector<double> az, x;
        az.reserve(window.size());
        x.reserve(window.size());
        arc.min_elevation = std::numeric_limits<double>::infinity();
        arc.max_elevation = -std::numeric_limits<double>::infinity();
        for (std::size_t j : window) {
            az.push_back(s.az[fit_index[j]]);
            x.push_back(std::sin(fit_e[j] * kRadPerDeg));
            arc.min_elevation = std::min(arc.min_elevation, fit_e[j]);
            arc.max_elevation = std::max(arc.max_elevation, fit_e[j]);
        }
        arc.azimuth = mean_azimuth(az);
        arc.height = arc.amplitude = arc.peak_to_noise = kNaN;

        if (window.size() < options.min_points || fit_e.size() <= static_cast<std::size_t>(options.polynomial_order))
            arc.reason = RejectReason::TooFewPoints;
        else if (arc.duration > options.max_arc_seconds)
            arc.reason = RejectReason::TooLong;
        else if (arc.min_elevation > options.min_elevation + options.elevation_margin ||
                 arc.max_elevation < options.max_elevation - options.elevation_margin)
            arc.reason = RejectReason::ShortCoverage;
        else if (!in_azimuth_windows(arc.azimuth, options.azimuth_windows))
            arc.reason = RejectReason::OutsideAzimuth;
        else {
            const std::vector<double> residual = polynomial_residual(fit_e, fit_y, options.polynomial_order);
            std::vector<double> y;
            y.reserve(window.size());
            for (std::size_t j : window) y.push_back(residual[j]);
            periodogram_rules(arc, x, y, track, options, heights);
        }
        out.push_back(std::move(arc));
    }
    return out;
}

bool positive_finite(double v) { return std::isfinite(v) && v > 0.0; }

}  // namespace

std::string_view reject_reason_text(RejectReason reason) {
    switch (reason) {
        case RejectReason::None: return "";
        case RejectReason::TooFewPoints: return "too few points";
        case RejectReason::TooLong: return "arc too long";
        case RejectReason::ShortCoverage: return "short elevation coverage";
        case RejectReason::OutsideAzimuth: return "outside azimuth windows";
        case RejectReason::EdgePeak: return "peak at height range edge";
        case RejectReason::LowAmplitude: return "low amplitude";
        case RejectReason::LowPeakToNoise: return "low peak-to-noise";
    }
    return "";
}

FrequencyGrid height_grid(const ReflectorOptions& o) {
    const double span = (o.max_height - o.min_height) / o.height_step;
    return {o.min_height, o.height_step, static_cast<std::size_t>(std::floor(span + 1e-9)) + 1};
}

Result<Ok> validate(const ReflectorOptions& o) {
    auto bad = [](const std::string& text) { return GnssError::configuration(text); };
    const bool elevations_finite = std::isfinite(o.min_elevation) && std::isfinite(o.max_elevation) &&
                                   std::isfinite(o.fit_min_elevation) && std::isfinite(o.fit_max_elevation);
    if (!elevations_finite || !(o.min_elevation < o.max_elevation))
        return bad("min_elevation must be below max_elevation");
    if (!(o.fit_min_elevation <= o.min_elevation && o.fit_max_elevation >= o.max_elevation))
        return bad("the polynomial window (fit_min_elevation, fit_max_elevation) must contain "
                   "(min_elevation, max_elevation)");
    if (o.polynomial_order < 0 || o.polynomial_order > kMaxPolynomialOrder)
        return bad("polynomial_order must be between 0 and " + std::to_string(kMaxPolynomialOrder));
    if (!positive_finite(o.min_height) || !std::isfinite(o.max_height) || !positive_finite(o.height_step) ||
        !(o.max_height - o.min_height >= 2.0 * o.height_step))
        return bad("heights need 0 < min_height and at least three steps of height_step up to max_height");
    if (!std::isfinite(o.height_edge_margin) || o.height_edge_margin < 0.0 ||
        !(2.0 * o.height_edge_margin < o.max_height - o.min_height))
        return bad("height_edge_margin must be a distance of at least 0 that leaves part of the height range");
    if ((o.max_height - o.min_height) / o.height_step > static_cast<double>(kMaxGridHeights))
        return bad("height_step too small: at most " + std::to_string(kMaxGridHeights) + " heights per periodogram");
    if (!std::isfinite(o.noise_min_height) || !std::isfinite(o.noise_max_height) ||
        !(o.noise_min_height < o.noise_max_height) || o.noise_max_height < o.min_height ||
        o.noise_min_height > o.max_height)
        return bad("the noise range (noise_min_height, noise_max_height) must overlap the height range");
    if (!std::isfinite(o.min_peak_to_noise) || !std::isfinite(o.elevation_margin) || o.elevation_margin < 0.0)
        return bad("min_peak_to_noise must be finite and elevation_margin finite and not negative");
    if (!positive_finite(o.max_arc_seconds) || !positive_finite(o.max_gap_seconds))
        return bad("max_arc_seconds and max_gap_seconds must be positive");
    for (const auto& [from, to] : o.azimuth_windows) {
        if (!(from >= 0.0 && from <= 360.0 && to >= 0.0 && to <= 360.0))
            return bad("azimuth windows are (from, to) pairs of degrees within 0..360");
    }
    if (o.refraction && !(positive_finite(o.atmosphere.pressure_hpa) && std::isfinite(o.atmosphere.temperature_c) &&
                          o.atmosphere.temperature_c > -273.15))
        return bad("pressure must be positive (hPa) and temperature above -273.15 (°C)");
    return Ok{};
}

Result<ReflectorOutput> reflector_heights(std::span<const ReflectorTrack> tracks, const ReflectorOptions& options) {
    if (auto ok = validate(options); !ok) return ok.error();
    ReflectorOutput out;
    out.heights = height_grid(options);
    auto per_track = parallel_map(tracks.size(), [&](std::size_t i) { return track_arcs(tracks[i], options, out.heights); });
    for (auto& arcs : per_track) {
        for (ReflectorArc& arc : arcs) {
            (arc.reason == RejectReason::None ? out.accepted : out.rejected).push_back(std::move(arc));
        }
    }
    return out;
}

}  // namespace skyrift
