#pragma once
// The in-memory observation file: flat, contiguous storage for the whole file.
// Per epoch a range into `satellite_entries`, per satellite a range into
// `observations`. Within an epoch satellites are sorted by the Satellite order and
// unique (a repeated satellite line replaced the earlier one); within a satellite
// codes are sorted by code text and unique (a repeated code replaced the earlier one).
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rinex/header.hpp"
#include "rinex/types.hpp"
#include "utils/time.hpp"

namespace skyrift {

inline constexpr uint8_t kNoIndicator = 0xFF;  // lli / ssi absent

// 12 bytes: the value is kept as raw bytes (byte alignment, so no padding after the
// code) and the two indicator digits share one byte (a nibble each, 0xF = absent).
// A whole day of 1 Hz data then stays near 13.5 bytes per stored observation.
struct ObservationEntry {
    ObservationCode code;
    uint8_t indicators = 0xFF;

    double value() const {
        double v;
        std::memcpy(&v, value_bytes_, sizeof v);
        return v;
    }
    void set_value(double v) { std::memcpy(value_bytes_, &v, sizeof v); }
    uint8_t lli() const { return nibble(indicators & 0x0F); }
    uint8_t ssi() const { return nibble(indicators >> 4); }
    void set_indicators(uint8_t lli_digit, uint8_t ssi_digit) {
        indicators = static_cast<uint8_t>((lli_digit == kNoIndicator ? 0x0F : lli_digit) |
                                          ((ssi_digit == kNoIndicator ? 0x0F : ssi_digit) << 4));
    }

private:
    static uint8_t nibble(unsigned v) { return v == 0x0F ? kNoIndicator : static_cast<uint8_t>(v); }
    unsigned char value_bytes_[sizeof(double)] = {};
};
static_assert(sizeof(ObservationEntry) == 12 && alignof(ObservationEntry) == 1);

struct SatelliteEntry {
    Satellite satellite;
    uint32_t first_observation = 0;
    uint32_t num_observations = 0;
};

struct EpochRecord {
    Epoch epoch;
    int64_t instant_ms = 0;  // exact time stamp of `epoch`, for time differences
    std::optional<double> clock_offset;
    uint8_t flag = 0;
    uint32_t first_satellite = 0;
    uint32_t num_satellites = 0;
};

// SNR samples of one satellite and one S-code, in epoch-list order.
struct SnrSeries {
    Satellite satellite;
    ObservationCode code;
    std::vector<double> times;   // unix seconds in the file's time scale
    std::vector<double> values;  // dB-Hz
};

class RinexObsData {
public:
    RinexHeader header;
    std::vector<EpochRecord> epochs;  // file order, duplicates kept
    std::vector<SatelliteEntry> satellite_entries;
    std::vector<ObservationEntry> observations;
    // A partial read of a damaged file: the failure that ended it, in the words its
    // caller reports it with (the epochs are those before the damage). None when whole.
    std::optional<std::string> damage;

    std::span<const SatelliteEntry> satellites_of(const EpochRecord& e) const {
        return {satellite_entries.data() + e.first_satellite, e.num_satellites};
    }
    std::span<const ObservationEntry> observations_of(const SatelliteEntry& s) const {
        return {observations.data() + s.first_observation, s.num_observations};
    }
    // Binary searches; nullptr when absent.
    const SatelliteEntry* find_satellite(const EpochRecord& e, Satellite sat) const;
    const ObservationEntry* find_observation(const SatelliteEntry& s, ObservationCode code) const;

    // Queries; each walks the flat arrays once.
    std::vector<Satellite> distinct_satellites() const;  // sorted
    std::vector<ObservationCode> codes_of_system(GnssSystem system) const;  // with a value, sorted
    std::vector<ObservationCode> codes_of_satellite(Satellite sat, ObservationKind kind) const;
    // From the first two records whose time stamps differ, else the header INTERVAL.
    std::optional<double> interval() const;
    // One series per S-code with positive values (only `code` when given), sorted by code.
    std::vector<SnrSeries> snr_series(Satellite sat, std::optional<ObservationCode> code) const;
};

}  // namespace skyrift
