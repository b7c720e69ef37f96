#pragma once
// The one-call SNR study of an observation file: per satellite, δSNR residuals of
// detrended arcs and their wavelet band power on a coarse time grid, computed in
// parallel over satellites.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/snr/band_power.hpp"
#include "rinex/obs_data.hpp"

namespace skyrift {

struct SurveySettings {
    std::vector<PeriodBand> bands;  // empty: the default bands of the call's interval
    double interval = 30.0;         // the call's interval (seconds)
    std::size_t max_points = 20000;
    std::size_t max_bins = 96;
    double gap_factor = 5.0;
    std::size_t max_order = 9;
};

struct SatelliteSurvey {
    std::string sat;
    std::string code;
    double t0 = 0.0;
    std::vector<double> t;
    std::vector<double> v;
    std::vector<std::size_t> orders;
    std::vector<double> bp_t;
    std::vector<std::vector<double>> bp_power;  // one row per band
};

// Surveys `satellites` (every satellite of the file when absent). Skipped satellites
// are left out; the rest come sorted by identifier text.
std::vector<SatelliteSurvey> survey_snr(const RinexObsData& obs,
                                        const std::optional<std::vector<Satellite>>& satellites,
                                        const SurveySettings& settings);

}  // namespace skyrift
