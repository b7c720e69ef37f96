#pragma once
// Which SNR signals reflectometry can use, and their wavelengths per satellite.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rinex/types.hpp"

namespace skyrift {

// An SNR signal named as an S-code, "S1C", or by its band alone, "S1" (any attribute,
// kept as a blank attribute). Letters are case-insensitive. Absent for anything else.
std::optional<ObservationCode> parse_snr_signal(std::string_view text);

// Whether an S-code matches a signal name: the same band, and the same attribute unless
// the name gave none.
bool signal_matches(const ObservationCode& name, const ObservationCode& code);

// Carrier wavelength (metres) of a band for a satellite, from the module's frequency
// table. GLONASS FDMA bands need the satellite's channel; without one it is absent.
std::optional<double> signal_wavelength(Satellite satellite, uint8_t band, std::optional<int8_t> glonass_channel);

// A satellite numbered as in the established SNR file format: GPS 1-99, GLONASS 101-199,
// Galileo 201-299, BeiDou 301-399 (the remainder is the PRN). Absent for other numbers.
std::optional<Satellite> satellite_from_snr_number(int64_t number);

// Minimum periodogram amplitude per signal: the first rule naming the signal (exact code
// before band alone), else the default.
struct AmplitudeRule {
    double fallback = 5.0;
    std::vector<std::pair<ObservationCode, double>> by_signal;
    double for_signal(const ObservationCode& code) const;
};

}  // namespace skyrift
