#include "rinex/code_layout.hpp"

#include <algorithm>

namespace skyrift {

CodeLayout::CodeLayout(const std::vector<std::optional<ObservationCode>>& codes) : size_(codes.size()) {
    for (uint32_t k = 0; k < codes.size(); ++k)
        if (codes[k]) order_.push_back(k);
    std::stable_sort(order_.begin(), order_.end(), [&](uint32_t a, uint32_t b) { return *codes[a] < *codes[b]; });
    for (uint32_t j = 0; j < order_.size(); ++j) {
        if (j == 0 || *codes[order_[j]] != *codes[order_[j - 1]]) {
            run_starts_.push_back(j);
            code_of_run_.push_back(*codes[order_[j]]);
        }
    }
    run_starts_.push_back(static_cast<uint32_t>(order_.size()));
}

}  // namespace skyrift
