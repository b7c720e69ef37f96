#pragma once
// Shared by both record readers: one epoch at a time is assembled in scratch space,
// then written to the flat storage with satellites sorted and unique (a repeated
// satellite replaces the earlier) and codes sorted and unique (a repeated code in
// a code list replaces the earlier value).
#include <cstdint>
#include <string_view>
#include <vector>

#include "rinex/obs_data.hpp"
#include "utils/number_parse.hpp"
#include "utils/text.hpp"

namespace skyrift {

// ASCII trimming, with the Unicode rule only when a non-ASCII byte is at an end.
inline std::string_view trim_field(std::string_view s) {
    s = trim_ascii(s);
    if (!s.empty() && (static_cast<unsigned char>(s.front()) >= 0x80 || static_cast<unsigned char>(s.back()) >= 0x80))
        s = trim_unicode(s);
    return s;
}

template <typename T>
T integer_field(std::string_view line, std::size_t begin, std::size_t end, T fallback) {
    T value{};
    return parse_integer(trim_field(column(line, begin, end)), value) == NumberError::None ? value : fallback;
}

inline double float_field(std::string_view line, std::size_t begin, std::size_t end, double fallback) {
    double value = 0.0;
    return parse_float(trim_field(column(line, begin, end)), value) == NumberError::None ? value : fallback;
}

// One 16-byte observation field (value F14.3, LLI digit, SSI digit), possibly cut
// short by the line end. False when there is no observation: the value does not parse
// or is exactly zero (RINEX writes 0.0 for a missing value, and converters fill every
// signal a satellite does not transmit with .000); its indicator digits go with it.
inline bool parse_observation_field(std::string_view field, ObservationEntry& out) {
    double value = 0.0;
    if (parse_float(trim_field(field.substr(0, 14)), value) != NumberError::None || value == 0.0) return false;
    out.set_value(value);
    auto digit = [&](std::size_t i) {
        return i < field.size() && field[i] >= '0' && field[i] <= '9' ? static_cast<uint8_t>(field[i] - '0')
                                                                     : kNoIndicator;
    };
    out.set_indicators(digit(14), digit(15));
    return true;
}

// A header code list with its positions in code order; positions holding the same
// code form one run, in which the last position with a value wins.
class CodeLayout {
public:
    CodeLayout() = default;
    // `codes[k]` absent: position k holds a type without a code (still occupies a field).
    explicit CodeLayout(const std::vector<std::optional<ObservationCode>>& codes);

    std::size_t size() const { return size_; }

    // Appends the winning observation of every run, in code order; `field(k)` gives
    // the field text of position k (empty when the line does not hold it).
    template <typename FieldAt>
    void emit(FieldAt&& field, std::vector<ObservationEntry>& out) const {
        for (std::size_t r = 0; r + 1 < run_starts_.size(); ++r) {
            for (std::size_t j = run_starts_[r + 1]; j-- > run_starts_[r];) {
                ObservationEntry entry;
                if (!parse_observation_field(field(order_[j]), entry)) continue;
                entry.code = code_of_run_[r];
                out.push_back(entry);
                break;
            }
        }
    }

private:
    std::size_t size_ = 0;
    std::vector<uint32_t> order_;          // positions sorted by (code, position)
    std::vector<uint32_t> run_starts_;     // indices into order_, plus the end
    std::vector<ObservationCode> code_of_run_;
};

class EpochAssembler {
public:
    explicit EpochAssembler(RinexObsData& data) : data_(data) {}

    // Observations of the satellite being added go to `pending()`, then `add_satellite`.
    std::vector<ObservationEntry>& pending() { return scratch_obs_; }
    void add_satellite(Satellite sat, std::size_t first_pending);
    void finish_epoch(const Epoch& epoch, uint8_t flag, std::optional<double> clock_offset);

private:
    struct Pending {
        uint64_t key;  // satellite order, then file position
        uint32_t first, count;
        Satellite sat;
    };
    RinexObsData& data_;
    std::vector<Pending> scratch_sats_;
    std::vector<ObservationEntry> scratch_obs_;
};

}  // namespace skyrift
