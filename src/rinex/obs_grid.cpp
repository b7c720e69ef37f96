#include "rinex/obs_grid.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace skyrift {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <typename T>
void insert_sorted(std::vector<T>& values, const T& v) {
    const auto at = std::lower_bound(values.begin(), values.end(), v);
    if (at == values.end() || !(*at == v)) values.insert(at, v);
}

}  // namespace

ObsGridLayout obs_grid_layout(const RinexObsData& data, std::optional<std::span<const ObservationCode>> wanted,
                              bool only_observing) {
    ObsGridLayout layout;
    if (wanted) {
        for (const ObservationCode& c : *wanted) insert_sorted(layout.codes, c);
    } else {
        for (const ObservationEntry& o : data.observations) insert_sorted(layout.codes, o.code);
    }
    const std::vector<int32_t> table = code_index_table(layout.codes);
    layout.has_lli.assign(layout.codes.size(), 0);
    layout.has_ssi.assign(layout.codes.size(), 0);
    Satellite last{};
    bool any = false;
    for (const SatelliteEntry& s : data.satellite_entries) {
        bool observing = false;
        for (const ObservationEntry& o : data.observations_of(s)) {
            const int32_t g = table[code_slot(o.code)];
            if (g < 0) continue;
            observing = true;
            if (o.lli() != kNoIndicator) layout.has_lli[static_cast<std::size_t>(g)] = 1;
            if (o.ssi() != kNoIndicator) layout.has_ssi[static_cast<std::size_t>(g)] = 1;
        }
        if ((observing || !only_observing) && !(any && last == s.satellite)) {
            insert_sorted(layout.satellites, s.satellite);
            last = s.satellite;
            any = true;
        }
    }
    return layout;
}

void fill_obs_grids(const RinexObsData& data, const ObsGridLayout& layout, std::span<const CodeGrid> grids) {
    const std::size_t columns = layout.satellites.size();
    const std::size_t cells = data.epochs.size() * columns;
    for (const CodeGrid& g : grids) {
        std::fill_n(g.values, cells, kNaN);
        if (g.lli) std::fill_n(g.lli, cells, kAbsentIndicatorCell);
        if (g.ssi) std::fill_n(g.ssi, cells, kAbsentIndicatorCell);
    }
    if (columns == 0) return;
    const std::vector<int32_t> table = code_index_table(layout.codes);
    const auto& sats = layout.satellites;
    for (std::size_t row = 0; row < data.epochs.size(); ++row) {
        for (const SatelliteEntry& s : data.satellites_of(data.epochs[row])) {
            const auto at = std::lower_bound(sats.begin(), sats.end(), s.satellite);
            if (at == sats.end() || !(*at == s.satellite)) continue;  // a satellite left out
            const std::size_t cell = row * columns + static_cast<std::size_t>(at - sats.begin());
            for (const ObservationEntry& o : data.observations_of(s)) {
                const int32_t g = table[code_slot(o.code)];
                if (g < 0) continue;
                const CodeGrid& grid = grids[static_cast<std::size_t>(g)];
                grid.values[cell] = o.value();
                if (grid.lli) grid.lli[cell] = indicator_cell(o.lli());
                if (grid.ssi) grid.ssi[cell] = indicator_cell(o.ssi());
            }
        }
    }
}

}  // namespace skyrift
