#pragma once
// Where each observation code sits in a record line, from the header's code list,
// and which field wins when a code is listed twice.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "rinex/obs_data.hpp"
#include "rinex/record_fields.hpp"

namespace skyrift {

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

}  // namespace skyrift
