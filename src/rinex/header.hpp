#pragma once
// The header of a RINEX observation file, as read up to "END OF HEADER".
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "rinex/types.hpp"
#include "utils/time.hpp"

namespace skyrift {

struct RinexVersion {
    uint8_t family = 3;  // 2, 3 or 4
    uint8_t minor = 5;
    std::string text() const;  // "3.05"
};

struct RinexHeader {
    std::optional<std::array<double, 3>> approx_position;
    std::optional<std::array<double, 3>> antenna_delta;
    std::optional<Epoch> time_of_first_obs;
    std::optional<Epoch> time_of_last_obs;
    std::optional<double> interval;
    std::string program, run_by, date;
    std::string marker_name, marker_number;
    std::string observer, agency;
    std::string receiver_number, receiver_type, receiver_version;
    std::string antenna_number, antenna_type;
    std::vector<std::string> obs_types_v2;
    std::string time_system;
    std::vector<std::string> comments;
    std::optional<std::string> marker_type;
    std::optional<int32_t> leap_seconds;
    std::optional<uint32_t> num_satellites;
    // Indexed by GnssSystem; an absent list and an empty list differ only in `has_obs_types`.
    std::array<std::vector<ObservationCode>, kNumSystems> obs_types_v3;
    std::array<bool, kNumSystems> has_obs_types{};
    std::map<uint32_t, int8_t> glonass_slots;
    std::optional<std::map<std::string, double>> glonass_code_phase_bias;
    char file_type = 'O';
    RinexVersion version;
    std::optional<GnssSystem> system;
};

}  // namespace skyrift
