#pragma once
// Reflector heights by GNSS interferometric reflectometry: per rising or setting arc of
// one satellite and signal, SNR in dB-Hz is turned into linear amplitude, the direct
// signal (a polynomial in elevation) removed, and the Lomb–Scargle periodogram of the
// residual against sin(elevation) gives the height of a horizontal reflector below the
// antenna: a reflector at height H makes a sinusoid of frequency 2H/λ in sin(elevation).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/reflector/lomb_scargle.hpp"
#include "analysis/reflector/refraction.hpp"
#include "rinex/types.hpp"
#include "utils/result.hpp"

namespace skyrift {

struct ReflectorOptions {
    double min_elevation = 5.0;  // periodogram window, degrees
    double max_elevation = 25.0;
    double fit_min_elevation = 5.0;  // window of the direct-signal polynomial
    double fit_max_elevation = 30.0;
    int polynomial_order = 4;
    double min_height = 0.5;  // metres, the periodogram's height range
    double max_height = 8.0;
    double height_step = 0.005;
    // A peak less than this from min_height or max_height is no height (the periodogram's
    // edge, not a reflector), as gnssrefl rules; 0 rejects only peaks on the grid's ends.
    double height_edge_margin = 0.1;
    double noise_min_height = 0.5;  // where the periodogram's mean amplitude is taken
    double noise_max_height = 8.0;
    double min_peak_to_noise = 2.8;
    double elevation_margin = 2.0;    // an arc must come this close to both window edges
    double max_arc_seconds = 4500.0;  // 75 minutes
    double max_gap_seconds = 600.0;
    std::size_t min_points = 20;
    // (from, to) in degrees, clockwise; from > to wraps through north. Empty: every azimuth.
    std::vector<std::pair<double, double>> azimuth_windows;
    bool refraction = false;
    Atmosphere atmosphere;  // used when `refraction` is on
};

// Checks ranges and orderings; the message names the option.
Result<Ok> validate(const ReflectorOptions& options);

// One satellite's samples of one signal, in any order; non-finite values and SNR <= 0
// are left out.
struct ReflectorTrack {
    Satellite satellite;
    std::string signal;  // as the caller names it, e.g. "S1C"
    double wavelength = 0.0;    // metres
    double min_amplitude = 0.0;  // in linear SNR units ("volts/volts")
    std::vector<double> times;  // seconds
    std::vector<double> elevations;
    std::vector<double> azimuths;
    std::vector<double> snr;  // dB-Hz
};

enum class RejectReason : uint8_t {
    None,
    TooFewPoints,
    TooLong,
    ShortCoverage,
    OutsideAzimuth,
    EdgePeak,
    LowAmplitude,
    LowPeakToNoise,
};
std::string_view reject_reason_text(RejectReason reason);

struct ReflectorArc {
    Satellite satellite;
    std::string signal;
    bool rising = true;
    double time = 0.0;  // middle of the arc's samples in the periodogram window
    double azimuth = 0.0;  // mean azimuth over those samples
    double min_elevation = 0.0, max_elevation = 0.0;
    double height = 0.0;  // NaN when no periodogram was computed
    double amplitude = 0.0;
    double peak_to_noise = 0.0;
    uint32_t points = 0;
    double duration = 0.0;  // seconds
    double wavelength = 0.0;
    RejectReason reason = RejectReason::None;
    std::vector<float> periodogram;  // amplitude per grid height; empty when not computed
};

struct ReflectorOutput {
    std::vector<ReflectorArc> accepted;
    std::vector<ReflectorArc> rejected;
    FrequencyGrid heights;  // the periodogram's height grid (metres)
};

// Every track's arcs, accepted and rejected, tracks in input order and arcs in time order
// within a track. Tracks are spread over the worker pool.
Result<ReflectorOutput> reflector_heights(std::span<const ReflectorTrack> tracks, const ReflectorOptions& options);

// The height grid of the options: min_height, min_height + step, ... up to max_height.
FrequencyGrid height_grid(const ReflectorOptions& options);

}  // namespace skyrift
