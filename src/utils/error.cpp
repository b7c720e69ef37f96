#include "utils/error.hpp"

#include <cstring>

namespace skyrift {

namespace {
std::string utf8_of(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}
}  // namespace

GnssError GnssError::io(std::string d) { return {ErrorKind::Io, std::move(d)}; }
GnssError GnssError::io_errno(int e) {
    return GnssError{ErrorKind::Io, std::string(std::strerror(e)) + " (os error " + std::to_string(e) + ")"}.with_os_error(e);
}
GnssError GnssError::rinex_parse(uint64_t l, std::string t) { return {ErrorKind::RinexParse, std::move(t), {}, l}; }
GnssError GnssError::unsupported_version(std::string t) { return {ErrorKind::UnsupportedVersion, std::move(t)}; }
GnssError GnssError::invalid_header(std::string t) { return {ErrorKind::InvalidHeader, std::move(t)}; }
GnssError GnssError::missing_header_field(std::string t) { return {ErrorKind::MissingHeaderField, std::move(t)}; }
GnssError GnssError::sp3_parse(uint64_t l, std::string t) { return {ErrorKind::Sp3Parse, std::move(t), {}, l}; }
GnssError GnssError::navigation_file(std::string t) { return {ErrorKind::NavigationFile, std::move(t)}; }
GnssError GnssError::invalid_epoch(std::string t) { return {ErrorKind::InvalidEpoch, std::move(t)}; }
GnssError GnssError::invalid_satellite(std::string t) { return {ErrorKind::InvalidSatellite, std::move(t)}; }
GnssError GnssError::invalid_observation_code(std::string t) { return {ErrorKind::InvalidObservationCode, std::move(t)}; }
GnssError GnssError::invalid_system(char32_t c) { return {ErrorKind::InvalidSystem, utf8_of(c)}; }
GnssError GnssError::insufficient_data(std::string t) { return {ErrorKind::InsufficientData, std::move(t)}; }
GnssError GnssError::computation(std::string t) { return {ErrorKind::Computation, std::move(t)}; }
GnssError GnssError::convergence_failure(uint64_t n, std::string t) { return {ErrorKind::ConvergenceFailure, std::move(t), {}, n}; }
GnssError GnssError::file_not_found(std::string p, int e) {
    return GnssError{ErrorKind::FileNotFound, std::move(p)}.with_os_error(e);
}
GnssError GnssError::invalid_format(std::string e, std::string g) { return {ErrorKind::InvalidFormat, std::move(e), std::move(g)}; }
GnssError GnssError::configuration(std::string t) { return {ErrorKind::Configuration, std::move(t)}; }
GnssError GnssError::plotting(std::string t) { return {ErrorKind::Plotting, std::move(t)}; }
GnssError GnssError::coordinate_transform(std::string t) { return {ErrorKind::CoordinateTransform, std::move(t)}; }
GnssError GnssError::download(std::string t) { return {ErrorKind::Download, std::move(t)}; }
GnssError GnssError::serialization(std::string t) { return {ErrorKind::Serialization, std::move(t)}; }
GnssError GnssError::time_scale(std::string t) { return {ErrorKind::TimeScale, std::move(t)}; }
GnssError GnssError::satellite_not_found(std::string s, std::string e) { return {ErrorKind::SatelliteNotFound, std::move(s), std::move(e)}; }
GnssError GnssError::invalid_frequency_band(std::string t) { return {ErrorKind::InvalidFrequencyBand, std::move(t)}; }
GnssError GnssError::cycle_slip_detected(std::string s, std::string e) { return {ErrorKind::CycleSlipDetected, std::move(s), std::move(e)}; }
GnssError GnssError::other(std::string t) { return {ErrorKind::Other, std::move(t)}; }

std::string GnssError::message() const {
    const std::string n = std::to_string(number_);
    switch (kind_) {
        case ErrorKind::Io: return "I/O error: " + text_;
        case ErrorKind::RinexParse: return "RINEX parsing error at line " + n + ": " + text_;
        case ErrorKind::UnsupportedVersion: return "Unsupported RINEX version: " + text_;
        case ErrorKind::InvalidHeader: return "Invalid RINEX header: " + text_;
        case ErrorKind::MissingHeaderField: return "Missing required header field: " + text_;
        case ErrorKind::Sp3Parse: return "SP3 parsing error at line " + n + ": " + text_;
        case ErrorKind::NavigationFile: return "Navigation file error: " + text_;
        case ErrorKind::InvalidEpoch: return "Invalid epoch format: " + text_;
        case ErrorKind::InvalidSatellite: return "Invalid satellite identifier: " + text_;
        case ErrorKind::InvalidObservationCode: return "Invalid observation code: " + text_;
        case ErrorKind::InvalidSystem: return "Invalid GNSS system: " + text_;
        case ErrorKind::InsufficientData: return "Insufficient data: " + text_;
        case ErrorKind::Computation: return "Computation error: " + text_;
        case ErrorKind::ConvergenceFailure: return "Failed to converge after " + n + " iterations: " + text_;
        case ErrorKind::FileNotFound: return "File not found: " + text_;
        case ErrorKind::InvalidFormat: return "Invalid file format: expected " + text_ + ", got " + text2_;
        case ErrorKind::Configuration: return "Configuration error: " + text_;
        case ErrorKind::Plotting: return "R plotting error: " + text_;
        case ErrorKind::CoordinateTransform: return "Coordinate transformation error: " + text_;
        case ErrorKind::Download: return "Download error: " + text_;
        case ErrorKind::Serialization: return "Serialization error: " + text_;
        case ErrorKind::TimeScale: return "Time scale error: " + text_;
        case ErrorKind::SatelliteNotFound: return "Satellite " + text_ + " not found in ephemeris at epoch " + text2_;
        case ErrorKind::InvalidFrequencyBand: return "Invalid frequency band: " + text_;
        case ErrorKind::CycleSlipDetected: return "Cycle slip detected for " + text_ + " at epoch " + text2_;
        case ErrorKind::Other: return text_;
    }
    return text_;
}

}  // namespace skyrift
