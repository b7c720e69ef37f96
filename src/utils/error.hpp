#pragma once
// The library's one error type: a closed set of kinds, each rendering a fixed message.
#include <cstdint>
#include <string>

namespace skyrift {

// The set, its declaration order and its message templates are a documented contract
// of the library, each rendering pinned by a test. Kinds marked "unused" have nothing
// that produces them today; they stay so the contract does not shift when a reader
// starts to (a navigation reader has NavigationFile, for instance).
enum class ErrorKind : uint8_t {
    Io,
    RinexParse,
    UnsupportedVersion,
    InvalidHeader,  // unused
    MissingHeaderField,  // unused
    Sp3Parse,  // unused
    NavigationFile,  // unused
    InvalidEpoch,
    InvalidSatellite,  // unused
    InvalidObservationCode,  // unused
    InvalidSystem,  // unused
    InsufficientData,
    Computation,  // unused
    ConvergenceFailure,  // unused
    FileNotFound,
    InvalidFormat,  // unused
    Configuration,  // unused
    Plotting,  // unused
    CoordinateTransform,  // unused
    Download,  // unused
    Serialization,  // unused
    TimeScale,  // unused
    SatelliteNotFound,  // unused
    InvalidFrequencyBand,  // unused
    CycleSlipDetected,  // unused
    Other,
};

class GnssError {
public:
    // One named constructor per kind, taking that kind's payload.
    static GnssError io(std::string description);  // already-rendered OS or decoder text
    static GnssError io_errno(int error_number);   // "<strerror> (os error N)"
    static GnssError rinex_parse(uint64_t line, std::string text);
    static GnssError unsupported_version(std::string text);
    static GnssError invalid_header(std::string text);
    static GnssError missing_header_field(std::string text);
    static GnssError sp3_parse(uint64_t line, std::string text);
    static GnssError navigation_file(std::string text);
    static GnssError invalid_epoch(std::string text);
    static GnssError invalid_satellite(std::string text);
    static GnssError invalid_observation_code(std::string text);
    static GnssError invalid_system(char32_t letter);
    static GnssError insufficient_data(std::string text);
    static GnssError computation(std::string text);
    static GnssError convergence_failure(uint64_t iterations, std::string text);
    static GnssError file_not_found(std::string path, int error_number = 0);  // errno of the failed query, if any
    static GnssError invalid_format(std::string expected, std::string got);
    static GnssError configuration(std::string text);
    static GnssError plotting(std::string text);
    static GnssError coordinate_transform(std::string text);
    static GnssError download(std::string text);
    static GnssError serialization(std::string text);
    static GnssError time_scale(std::string text);
    static GnssError satellite_not_found(std::string satellite, std::string epoch);
    static GnssError invalid_frequency_band(std::string text);
    static GnssError cycle_slip_detected(std::string satellite, std::string epoch);
    static GnssError other(std::string text);

    ErrorKind kind() const { return kind_; }
    // The system's errno behind a failure to open or read a file, 0 when none (a decoder's
    // or parser's failure): the Python layer picks the OSError subclass by it. The message
    // does not depend on it beyond what the kind's template shows.
    int os_error() const { return os_error_; }
    // The kind's template filled with the payload; never fails, never truncates.
    std::string message() const;

private:
    GnssError(ErrorKind kind, std::string a, std::string b = {}, uint64_t number = 0)
        : kind_(kind), text_(std::move(a)), text2_(std::move(b)), number_(number) {}
    GnssError with_os_error(int error_number) && {
        os_error_ = error_number;
        return std::move(*this);
    }
    ErrorKind kind_;
    int os_error_ = 0;
    std::string text_;
    std::string text2_;
    uint64_t number_;
};

}  // namespace skyrift
