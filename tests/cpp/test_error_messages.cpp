// Every error kind renders its fixed template; most kinds have no producer reachable
// from Python, so they are checked here.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "check.hpp"
#include "utils/error.hpp"

using skyrift::GnssError;

static void expect(const GnssError& e, const std::string& expected) {
    if (e.message() != expected) cpptest::fail("got '%s', expected '%s'", e.message().c_str(), expected.c_str());
}

int main() {
    expect(GnssError::io("stream did not contain valid UTF-8"), "I/O error: stream did not contain valid UTF-8");
    expect(GnssError::io_errno(ENOENT), std::string("I/O error: ") + std::strerror(ENOENT) + " (os error 2)");
    expect(GnssError::rinex_parse(0, ""), "RINEX parsing error at line 0: ");
    expect(GnssError::rinex_parse(17, "Epoch line too short"), "RINEX parsing error at line 17: Epoch line too short");
    expect(GnssError::unsupported_version("1.0"), "Unsupported RINEX version: 1.0");
    expect(GnssError::invalid_header("x"), "Invalid RINEX header: x");
    expect(GnssError::missing_header_field("x"), "Missing required header field: x");
    expect(GnssError::sp3_parse(5, "bad"), "SP3 parsing error at line 5: bad");
    expect(GnssError::navigation_file("x"), "Navigation file error: x");
    expect(GnssError::invalid_epoch("'x'"), "Invalid epoch format: 'x'");
    expect(GnssError::invalid_satellite("Z1"), "Invalid satellite identifier: Z1");
    expect(GnssError::invalid_observation_code("Q1C"), "Invalid observation code: Q1C");
    expect(GnssError::invalid_system(U'X'), "Invalid GNSS system: X");
    expect(GnssError::invalid_system(U'\u00e9'), "Invalid GNSS system: \xc3\xa9");
    expect(GnssError::insufficient_data("x"), "Insufficient data: x");
    expect(GnssError::computation("x"), "Computation error: x");
    expect(GnssError::convergence_failure(10, "x"), "Failed to converge after 10 iterations: x");
    expect(GnssError::file_not_found("missing.rnx"), "File not found: missing.rnx");
    expect(GnssError::invalid_format("RINEX", "SP3"), "Invalid file format: expected RINEX, got SP3");
    expect(GnssError::configuration("x"), "Configuration error: x");
    expect(GnssError::plotting("x"), "R plotting error: x");
    expect(GnssError::coordinate_transform("x"), "Coordinate transformation error: x");
    expect(GnssError::download("x"), "Download error: x");
    expect(GnssError::serialization("x"), "Serialization error: x");
    expect(GnssError::time_scale("x"), "Time scale error: x");
    expect(GnssError::satellite_not_found("G05", "2024-01-01T00:00:00.000Z"),
           "Satellite G05 not found in ephemeris at epoch 2024-01-01T00:00:00.000Z");
    expect(GnssError::invalid_frequency_band("x"), "Invalid frequency band: x");
    expect(GnssError::cycle_slip_detected("G05", "e"), "Cycle slip detected for G05 at epoch e");
    expect(GnssError::other("plain 'text' \xc3\xa9"), "plain 'text' \xc3\xa9");
    return cpptest::finish("error messages");
}
